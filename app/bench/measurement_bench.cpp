// measurement-bench: one measurement as a user runs it without a display,
// `vexolan --simulate --measure BASE` in a fresh program folder (the virtual microscope
// filming 640 x 480 at 30 frames a second, 10 integrations, motor 1 at its first-start
// speed), and prints from that one run:
// - the wall time from the first step of the sequence to the engine's status, against the
//   limit of what the sequence must wait for: at each angle the polarizer's travel there,
//   then the frames it integrates, which arrive after the polarizer (the first may come
//   at once, so an integration of n frames waits n - 1 frame periods). The travel is
//   timed on a simulated controller of the same kind with the run's speed, acceleration
//   and targets, since it is that motor the run waits for; the travel a real motor needs
//   at that speed and acceleration (a trapezoidal profile) is printed beside it;
// - the program's processor time over the same span, in per cent of one core: the whole
//   process, and its GUI thread alone (the rest is mostly the virtual camera drawing the
//   microscope's frames, which a real camera does in its own hardware).
// It fails nothing: the figures are for reading. Goals: wall time within 1.1 x the limit,
// processor time below 25% of one core.
#include "logic/polarizer_travel.h"
#include "stepper/simulated_stepper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr double frames_per_second = 30;
constexpr int frames_per_integration = 11; // integration count 10 + 1

// Processor seconds of a process or one of its threads, from /proc.
double cpu_seconds(const QString& stat_path) {
    QFile f(stat_path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = f.readAll();
    // the fields after the command name, which is in parentheses and may hold blanks
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct Sample {
    double wall = 0, process = 0, gui_thread = 0;
};

Sample sample(qint64 pid, const QElapsedTimer& clock) {
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    return {clock.nsecsElapsed() / 1e9, cpu_seconds(proc + "/stat"),
            cpu_seconds(proc + QStringLiteral("/task/%1/stat").arg(pid))};
}

// Seconds that the simulated controller of --simulate takes for the moves from each of
// `targets` to the next, timed on a controller of its own: from the command to the
// position of the target, the moment the sequence stops waiting.
double simulated_travel(const std::vector<int>& targets, double speed, double acceleration) {
    stepper::SimulatedController controller;
    controller.open(-1);
    controller.attach_now();
    controller.set_acceleration(0, acceleration);
    controller.set_velocity_limit(0, speed);
    controller.set_engaged(0, true);
    controller.set_current_position(0, targets.front());
    double seconds = 0;
    for (size_t i = 1; i < targets.size(); ++i) {
        QElapsedTimer clock;
        clock.start();
        controller.set_target_position(0, targets[i]);
        while (controller.current_position(0) != targets[i])
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        seconds += clock.nsecsElapsed() / 1e9;
    }
    return seconds;
}

// Line `line` (1 from the top) of the settings file, as a number.
double setting(const QStringList& lines, int line) {
    return line <= lines.size() ? lines[line - 1].trimmed().toDouble() : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString program = folder.filePath("vexolan");
    if (!QFile::copy(VEXOLAN_PROGRAM, program) ||
        !QFile::copy(TARNWICK_LIBRARY, folder.filePath("libtarnwick.so"))) {
        std::fprintf(stderr, "measurement-bench: cannot set up a program folder\n");
        return 1;
    }
    QProcess vexolan;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    vexolan.setProcessEnvironment(env);
    vexolan.start(program, {"--simulate", "--measure", folder.filePath("bench")});
    if (!vexolan.waitForStarted()) return 1;

    vexolan.setReadChannel(QProcess::StandardError); // where the progress lines come
    QElapsedTimer clock;
    clock.start();
    Sample first, last;
    int integrations = 0;
    QByteArray pending;
    bool done = false;
    while (!done && vexolan.waitForReadyRead(120000)) {
        pending += vexolan.readAllStandardError();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.contains("forward (") || line.contains("back (")) {
                if (integrations++ == 0) first = sample(vexolan.processId(), clock);
            } else if (integrations == 8) { // the engine's status follows the last step
                last = sample(vexolan.processId(), clock);
                std::printf("engine status: %s\n", line.mid(line.indexOf(' ') + 1).constData());
                done = true;
            }
        }
    }
    vexolan.waitForFinished(120000);
    if (!done || vexolan.exitCode() != 0) {
        std::fprintf(stderr, "measurement-bench: the measurement failed (exit %d)\n%s\n",
                     vexolan.exitCode(), pending.constData());
        return 1;
    }

    QFile ini(folder.filePath("vexolan.ini"));
    ini.open(QIODevice::ReadOnly);
    const QStringList lines = QString::fromLatin1(ini.readAll()).split(QStringLiteral("\r\n"));
    const double steps_per_turn = setting(lines, 2), acceleration = setting(lines, 6),
                 speed = setting(lines, 10);
    // the angles of the sequence's integrations, from 0 degrees, where the polarizer stands
    const int angles[] = {0, 0, 45, 90, 135, 135, 90, 45, 0};
    std::vector<int> targets;
    double real_travel = 0;
    for (int angle : angles) {
        targets.push_back(static_cast<int>(std::nearbyint(angle / 360.0L * steps_per_turn)));
        if (targets.size() > 1)
            real_travel += polarizer_travel::seconds(targets.back() - targets[targets.size() - 2],
                                                     speed, acceleration);
    }
    const double travel = simulated_travel(targets, speed, acceleration);
    const double wall = last.wall - first.wall;
    // after the polarizer arrives the sequence lets one frame go (exposed while it may have
    // turned), then integrates the next ones: one frame interval each
    const double frames = integrations * frames_per_integration / frames_per_second;
    const double limit = frames + travel;
    std::printf("measurement 640 x 480, %g frames/s, %d integrations of %d frames, motor %g "
                "steps/turn at %g steps/s, %g steps/s^2\n",
                frames_per_second, integrations, frames_per_integration, steps_per_turn, speed,
                acceleration);
    std::printf("what the sequence waits for: %.2f s of frames after the polarizer arrives + "
                "%.2f s of travel of the simulated motor = %.2f s\n",
                frames, travel, limit);
    std::printf("(a real motor at this speed and acceleration travels %.2f s: %.2f s in all)\n",
                real_travel, frames + real_travel);
    std::printf("wall time: %.2f s = %.2f x that limit (goal 1.1)\n", wall, wall / limit);
    std::printf("processor time: %.2f s = %.1f%% of one core (goal under 25%%); GUI thread "
                "%.2f s = %.1f%%\n",
                last.process - first.process, 100 * (last.process - first.process) / wall,
                last.gui_thread - first.gui_thread,
                100 * (last.gui_thread - first.gui_thread) / wall);
    return 0;
}
