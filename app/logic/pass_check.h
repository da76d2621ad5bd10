// The two passes of a measurement held against each other. The sequence integrates at each
// of the four angles twice, forward (0, 45, 90, 135 degrees) and back (135, 90, 45, 0); on a
// sound instrument the two integrations at an angle differ by the camera's noise alone. At
// each angle p the difference D = F - B of the forward and the backward integration is
// fitted, by least squares over every pixel and colour, to
//     D = e A + d g
// - A = (F + B) / 2 is the angle image, so e is the lamp's relative change between the two
//   integrations at that angle (a drifting lamp);
// - g = dI/dp = 2a sin 2p - 2b cos 2p (per radian), with a = (A90 - A0) / 2 and
//   b = (A135 - A45) / 2 from the four angle images, is how the light behind the polarizer
//   changes as it turns, so d is how far apart the polarizer stood in the two passes (play in
//   its drive, or a motor that lost steps). The sign of d depends on the sense of rotation;
//   its size does not.
// Samples clipped (0 or 255) in any of the eight integrations are left out: their
// differences say nothing. What the fit leaves is the camera's noise alone unless something
// in the picture changed between the passes (a sample that moved): the share of samples
// beyond six times that noise tells it.
#pragma once

#include <QImage>
#include <QStringList>

#include <array>

namespace pass_check {

// Beyond these the passes disagree by more than the instrument's own noise does.
constexpr double angle_limit_degrees = 0.25;
constexpr double drift_limit_percent = 0.5;
// The share of samples that differ far beyond the noise (six times it) once the lamp's and
// the polarizer's share is taken out: a sample that moved, or a scene that changed.
constexpr double changed_limit_percent = 0.5;

struct AtAngle {
    double drift_percent = 0; // the lamp, backward against forward
    double angle_degrees = 0; // the polarizer, forward against backward
    // whether the images tell them to well within the limits: not the angle where the light
    // behind the sample is nearly circular everywhere (g is about 0), neither where a few
    // samples alone did not clip
    bool angle_known = false;
    bool drift_known = false;
};

struct Findings {
    std::array<AtAngle, 4> at;  // 0, 45, 90, 135 degrees
    double changed_percent = 0; // samples beyond six times the noise
    double worst_drift_percent() const;
    double worst_angle_degrees() const;
};

class Passes {
  public:
    // Angle index 0..3 for 0, 45, 90 and 135 degrees; the integrated images of one
    // sequence, all of one size.
    void set_forward(int index, const QImage& image);
    void set_backward(int index, const QImage& image);
    void clear();
    // Every angle has both integrations, of one size.
    bool complete() const;
    // Requires complete().
    Findings findings() const;

  private:
    std::array<QImage, 4> forward_, backward_;
};

// What the status line adds to the results ("polarizer backlash 0.6°", "lamp drift
// 1.2%", "sample moved"), and the warnings that say more; both empty when the passes agree.
QStringList notes(const Findings& findings);
QStringList warnings(const Findings& findings);

} // namespace pass_check
