// measurement-bench: one measurement as a user runs it without a display,
// `vexolan --simulate --measure BASE` in a fresh program folder (the virtual microscope
// filming 640 x 480 at 30 frames a second, 10 integrations, motor 1 at its first-start
// speed), and prints from that one run:
// - the wall time from the first step of the sequence to the engine's status, against the
//   physical limit: the frames the integrations need at 30 frames a second plus the
//   polarizer's travel at its set speed and acceleration;
// - the program's processor time over the same span, in per cent of one core: the whole
//   process, and its GUI thread alone (the rest is mostly the virtual camera drawing the
//   microscope's frames, which a real camera does in its own hardware).
// It fails nothing: the figures are for reading. Goals: wall time within 1.1 x the limit,
// processor time below 25% of one core.
#include "logic/polarizer_travel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

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
    // six moves of 45 degrees: 0 to 45, 90, 135 and back to 0
    const double travel = 6 * polarizer_travel::seconds(steps_per_turn / 8, speed, acceleration);
    const double wall = last.wall - first.wall;
    const double frames = integrations * frames_per_integration / frames_per_second;
    const double limit_9 = 9 * frames_per_integration / frames_per_second + travel;
    std::printf("measurement 640 x 480, %g frames/s, %d integrations of %d frames, motor %g "
                "steps/turn at %g steps/s, %g steps/s^2\n",
                frames_per_second, integrations, frames_per_integration, steps_per_turn, speed,
                acceleration);
    std::printf("physical limit: %.2f s frames + %.2f s travel = %.2f s (with 9 integrations: "
                "%.2f s)\n",
                frames, travel, frames + travel, limit_9);
    std::printf("wall time: %.2f s = %.2f x the limit (%.2f x with 9 integrations; goal 1.1)\n",
                wall, wall / (frames + travel), wall / limit_9);
    std::printf("processor time: %.2f s = %.1f%% of one core (goal under 25%%); GUI thread "
                "%.2f s = %.1f%%\n",
                last.process - first.process, 100 * (last.process - first.process) / wall,
                last.gui_thread - first.gui_thread,
                100 * (last.gui_thread - first.gui_thread) / wall);
    return 0;
}
