// The virtual microscope's rotation stage. The polarizer sits in a ring that motor 1 of
// the simulated controller turns: 200 motor steps make one turn, and increasing steps
// turn the polarizer clockwise as seen on the screen. So the program's motor settings
// that fit it are 200 steps per 360 degrees and the rotation sense "clockwise" (+1): the
// program's polarizer angle p is then p degrees clockwise from the image's x axis.
//
// The stage follows the motor's shaft, not its step counter: declaring a motor position
// (as the program does when it zeroes the motor) turns nothing. Between shaft and ring there
// may be play (backlash, none unless set): the ring stays where it is until the shaft has
// taken up the play, so the ring lags half the play behind a shaft that turns forward and
// leads it by as much when the shaft turns back.
#pragma once

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>

namespace sim {

struct StageGeometry {
    int steps_per_turn = 200;
    // +1: increasing steps turn the polarizer clockwise on the screen; -1 counter-clockwise
    int sense = +1;
};

class Stage {
  public:
    explicit Stage(StageGeometry geometry = {}) : geometry_(geometry) {}

    // The motor shaft's angle in steps, counted from where it stood when the stage was
    // made. Set by the controller's motion on the GUI thread; read by the camera's thread.
    void set_shaft_steps(double steps) {
        shaft_.store(steps, std::memory_order_relaxed);
        const double half = play_steps_.load(std::memory_order_relaxed) / 2;
        const double ring = ring_steps_.load(std::memory_order_relaxed);
        if (steps - ring > half) ring_steps_.store(steps - half, std::memory_order_relaxed);
        if (ring - steps > half) ring_steps_.store(steps + half, std::memory_order_relaxed);
    }
    double shaft_steps() const { return shaft_.load(std::memory_order_relaxed); }

    // The play between shaft and ring in degrees of the polarizer, 0 at the start; the
    // ring is centred in it. Set before the motor moves, on the thread that moves it.
    void set_backlash_degrees(double degrees) {
        play_steps_.store(std::abs(degrees) * geometry_.steps_per_turn / 360,
                          std::memory_order_relaxed);
        ring_steps_.store(shaft_steps(), std::memory_order_relaxed);
    }
    double backlash_degrees() const {
        return play_steps_.load(std::memory_order_relaxed) * 360 / geometry_.steps_per_turn;
    }

    // The polarizer's transmission axis, degrees counter-clockwise from the image's x axis.
    double polarizer_degrees() const {
        return -ring_steps_.load(std::memory_order_relaxed) * 360 / geometry_.steps_per_turn *
               geometry_.sense;
    }
    const StageGeometry& geometry() const { return geometry_; }

  private:
    StageGeometry geometry_;
    std::atomic<double> shaft_{0};
    std::atomic<double> ring_steps_{0}; // where the polarizer's ring stands, in shaft steps
    std::atomic<double> play_steps_{0};
};

// The simulated controller's shaft hook (motor index, shaft steps) that turns `stage`
// with motor 1, as the virtual microscope is built.
inline std::function<void(int, double)> turned_by_motor_1(std::shared_ptr<Stage> stage) {
    return [stage = std::move(stage)](int index, double steps) {
        if (index == 0) stage->set_shaft_steps(steps);
    };
}

} // namespace sim
