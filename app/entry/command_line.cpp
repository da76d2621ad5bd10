#include "command_line.h"

#include "sim/samples.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <vector>

namespace command_line {

namespace {

QString sample_names() {
    QStringList names;
    for (const sim::SampleInfo& s : sim::samples()) names << QString::fromStdString(s.name);
    return names.join(QStringLiteral(", "));
}

// The program's options, declared once: the parser, and the help text built from it.
struct Options {
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Run on the simulated polarizer motor.")};
    QCommandLineOption stepper_name{QStringLiteral("stepper-name"),
                                    QStringLiteral("Device name of the simulated controller "
                                                   "(a 4-motor unipolar name gives two motors)."),
                                    QStringLiteral("name")};
    QCommandLineOption sample{
        QStringLiteral("sample"),
        QStringLiteral("The sample under the virtual microscope: %1 (default target).")
            .arg(sample_names()),
        QStringLiteral("name"), QStringLiteral("target")};
    QCommandLineOption seed{
        QStringLiteral("seed"),
        QStringLiteral("The virtual microscope's noise repeats from one run of the program to the "
                       "next with the same N (0 to 18446744073709551615); without it every "
                       "camera run has fresh noise."),
        QStringLiteral("N")};
    QCommandLineOption backlash{
        QStringLiteral("backlash"),
        QStringLiteral("Play between the simulated motor and the virtual microscope's polarizer, "
                       "in degrees (0 to 10): the polarizer lags half of it behind a motor "
                       "turning forward and leads by as much turning back."),
        QStringLiteral("DEGREES")};
    QCommandLineOption lamp_drift{
        QStringLiteral("lamp-drift"),
        QStringLiteral("The virtual microscope's lamp changes by PERCENT of its first intensity "
                       "each second from the program's start (-10 to 10)."),
        QStringLiteral("PERCENT")};
    QCommandLineOption sample_motion{
        QStringLiteral("sample-motion"),
        QStringLiteral("The sample under the virtual microscope slides along the image's x axis "
                       "by PIXELS each second from the program's start, to the right for "
                       "positive values (-100 to 100)."),
        QStringLiteral("PIXELS")};
    QCommandLineOption measure{
        QStringLiteral("measure"),
        QStringLiteral(
            "Measure once without an operator: press Start_Sequence, save the result set as "
            "BASE.a1.bmp, BASE.a2.bmp, BASE.a0.bmp and the Measure page as BASE.png, "
            "close. Exit status: the engine's result code, 21 when the camera clipped (the "
            "result set is kept), 20 when no measurement could start or it failed."),
        QStringLiteral("BASE")};
    QCommandLineOption collect{
        QStringLiteral("collect-background"),
        QStringLiteral("Collect the background images of the current settings without an "
                       "operator, then close. Exit status 0 when the four were stored, else 20.")};
    QCommandLineOption camera{
        QStringLiteral("camera"),
        QStringLiteral("With --measure or --collect-background: run on the camera of that name, "
                       "as if it were chosen from the camera list, at the frame size of the "
                       "settings. A name not in the list (--list-cameras) ends the program "
                       "with exit status 2 and the list."),
        QStringLiteral("NAME")};
    QCommandLineOption list_cameras{
        QStringLiteral("list-cameras"),
        QStringLiteral("Print the names of the cameras, one a line, as the camera list offers "
                       "them, and end.")};
};

std::optional<uint64_t> seed_of(const QString& text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || text.startsWith(QLatin1Char('+'))) return std::nullopt;
    return uint64_t{value};
}

// A number within [low, high], as the fault options take them.
std::optional<double> number_of(const QString& text, double low, double high) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value >= low && value <= high)) return std::nullopt;
    return value;
}

struct FaultOption {
    const QCommandLineOption& option;
    double low, high;
    const char* unit;
    double sim::Faults::*field;
};

std::vector<FaultOption> fault_options(const Options& o) {
    return {{o.backlash, 0, 10, "degrees", &sim::Faults::backlash_degrees},
            {o.lamp_drift, -10, 10, "a percentage", &sim::Faults::lamp_drift_percent_per_s},
            {o.sample_motion, -100, 100, "pixels", &sim::Faults::sample_motion_px_per_s}};
}

int refuse(const QString& text) {
    std::fprintf(stderr, "vexolan: %s\nTry 'vexolan --help'.\n", qPrintable(text));
    return usage_status;
}

// What the parsed options cannot mean together; empty when they fit.
QString conflict(const QCommandLineParser& parser, const Options& o) {
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]);
    if (parser.isSet(o.measure) && parser.value(o.measure).isEmpty())
        return QStringLiteral("--measure needs the base name of the result set");
    if (parser.isSet(o.measure) && parser.isSet(o.collect))
        return QStringLiteral("--measure and --collect-background are two runs; give one");
    if (parser.isSet(o.stepper_name) && !parser.isSet(o.simulate))
        return QStringLiteral("--stepper-name names the simulated controller; give --simulate too");
    const bool run = parser.isSet(o.measure) || parser.isSet(o.collect);
    if (parser.isSet(o.camera) && !run)
        return QStringLiteral("--camera chooses the camera of a --measure or "
                              "--collect-background run");
    if (parser.isSet(o.camera) && parser.value(o.camera).isEmpty())
        return QStringLiteral("--camera needs the name of a camera (--list-cameras)");
    if (parser.isSet(o.list_cameras) && run)
        return QStringLiteral("--list-cameras lists the cameras and ends; give it alone");
    if (parser.isSet(o.seed) && !seed_of(parser.value(o.seed)))
        return QStringLiteral("--seed needs a whole number from 0 to 18446744073709551615, "
                              "not \"%1\"")
            .arg(parser.value(o.seed));
    for (const FaultOption& f : fault_options(o))
        if (parser.isSet(f.option) && !number_of(parser.value(f.option), f.low, f.high))
            return QStringLiteral("--%1 needs %2 from %3 to %4, not \"%5\"")
                .arg(f.option.names()[0], QLatin1String(f.unit), QString::number(f.low),
                     QString::number(f.high), parser.value(f.option));
    if (parser.isSet(o.backlash) && !parser.isSet(o.simulate))
        return QStringLiteral("--backlash is the play of the simulated motor; give --simulate too");
    if (!sim::is_sample(parser.value(o.sample).toStdString()))
        return QStringLiteral("no sample \"%1\"; the samples are %2")
            .arg(parser.value(o.sample), sample_names());
    return {};
}

} // namespace

std::optional<int> read(const QStringList& arguments, Arguments& out) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Birefringence measurement under a polarizing microscope.\n"
                       "vexolan --info FILE... prints the record rows of saved "
                       "result images."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const Options o;
    parser.addOptions({o.simulate, o.stepper_name, o.sample, o.seed, o.backlash, o.lamp_drift,
                       o.sample_motion, o.measure, o.collect, o.camera, o.list_cameras});

    if (!parser.parse(arguments)) return refuse(parser.errorText());
    if (parser.isSet(help)) parser.showHelp(0);
    if (parser.isSet(version)) parser.showVersion();
    if (const QString why = conflict(parser, o); !why.isEmpty()) return refuse(why);

    out.simulate = parser.isSet(o.simulate);
    if (parser.isSet(o.stepper_name)) out.stepper_name = parser.value(o.stepper_name);
    out.sample = parser.value(o.sample);
    if (parser.isSet(o.seed)) out.noise_seed = seed_of(parser.value(o.seed));
    for (const FaultOption& f : fault_options(o))
        if (parser.isSet(f.option))
            out.faults.*f.field = *number_of(parser.value(f.option), f.low, f.high);
    if (parser.isSet(o.measure)) {
        out.request.command = headless::Command::measure;
        // the base as given, from the folder the command was started in
        out.request.base = QFileInfo(parser.value(o.measure)).absoluteFilePath();
    } else if (parser.isSet(o.collect))
        out.request.command = headless::Command::collect_background;
    out.request.camera = parser.value(o.camera);
    out.list_cameras = parser.isSet(o.list_cameras);
    return std::nullopt;
}

} // namespace command_line
