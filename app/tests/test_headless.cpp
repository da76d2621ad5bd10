// `vexolan --collect-background` and `vexolan --measure BASE`, run as a user runs them: the
// program and the engine library in a program folder of their own, no display, the
// virtual microscope filming in real time.
#include "headless_fixture.h"
#include "logic/orientation_view.h"

#include <QColor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <numbers>

// A fresh program folder: the first start takes the virtual microscope and its stage. The
// empty field's background images are collected, then the test slide is measured with
// them; the result set, the picture and the engine's results are there, and match the
// slide.
TEST_F(HeadlessTest, CollectBackgroundThenMeasure) {
    const Outcome collected = vexolan({"--simulate", "--sample", "empty", "--collect-background"});
    ASSERT_EQ(collected.status, 0) << collected.err.toStdString();
    EXPECT_TRUE(collected.err.contains("vexolan: 0° forward (1/9)\n"))
        << collected.err.toStdString();
    EXPECT_TRUE(collected.err.contains("vexolan: background 0°\n")) << collected.err.toStdString();
    QStringList backgrounds;
    for (const char* angle : {"0", "45", "90", "135"})
        backgrounds << file(QStringLiteral("04x_o_640 x 480_550_%1.bmp").arg(angle));
    EXPECT_EQ(collected.out, backgrounds.join('\n') + '\n');
    for (const QString& b : backgrounds) EXPECT_TRUE(QFile::exists(b)) << b.toStdString();

    const Outcome measured = vexolan({"--simulate", "--measure", "sets/run"});
    ASSERT_EQ(measured.status, 0) << measured.err.toStdString();
    EXPECT_TRUE(measured.err.contains("vexolan: 0° back (9/9)\nvexolan: Ready\n"))
        << measured.err.toStdString();
    const QString base = file("work/sets/run");
    QStringList written;
    for (const char* extension : {".a1.bmp", ".a2.bmp", ".a0.bmp"}) {
        written << base + extension;
        EXPECT_EQ(read(written.back()).size(), QSize(370, 240)) << extension;
    }
    written << base + ".ome.tif" << base + ".png" << base + "-orientation.png";
    EXPECT_EQ(measured.out, written.join('\n') + '\n');
    const QImage picture(base + ".png");
    EXPECT_GT(picture.width(), 640);
    EXPECT_GT(picture.height(), 480);
    // the orientation view: each disc in the hue of its slow axis, as bright as its
    // retardance on the scale up to |sin d| 0.9; the empty field, without orientation, black
    const QImage view(base + "-orientation.png");
    ASSERT_EQ(view.size(), QSize(640 + orientation_view::legend_width, 480));
    const double top = 550 / (2 * std::numbers::pi) * std::asin(0.9);
    const struct {
        double x, y, sin_d, phi;
    } discs[] = {{0.25, 0.30, 0.2, 0},
                 {0.75, 0.30, 0.4, 45},
                 {0.25, 0.72, 0.6, 90},
                 {0.75, 0.72, 0.8, 135},
                 {0.5, 0.5, 0, -1}};
    for (const auto& d : discs) {
        SCOPED_TRACE(d.phi);
        const QColor c = view.pixelColor(int(d.x * 640), int(d.y * 480));
        if (d.phi < 0) {
            EXPECT_EQ(c, QColor(Qt::black));
            continue;
        }
        EXPECT_NEAR(c.valueF(), 550 / (2 * std::numbers::pi) * std::asin(d.sin_d) / top, 0.02);
        EXPECT_NEAR(std::remainder(c.hsvHueF() * 360 - 2 * d.phi, 360), 0, 3);
    }
    // calibrated by the empty field: its light's imperfection is gone
    expect_target_truth(read(file("a1.bmp")), read(file("a2.bmp")), 0);
    expect_maps_truth(base + ".ome.tif");
    EXPECT_EQ(read_bytes(base + ".ome.tif"), read_bytes(file("maps.ome.tif")));
    // --info tells what the maps hold, and that a file of another kind is none
    write_bytes(file("work/notes.tif"), "not a TIFF");
    const Outcome info = vexolan({"--info", base + ".ome.tif", "notes.tif"});
    EXPECT_EQ(info.status, 1);
    EXPECT_TRUE(info.out.startsWith("file: " + base +
                                    ".ome.tif\nmaps: 640 x 480, 8 pages: T, "
                                    "|sin d|, R (nm), phi (degree), sigma R (nm), sigma phi "
                                    "(degree), orientation mask, clipped mask\npixel size: "))
        << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("\nwavelength nm: 550\n")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("\ncalibrated: yes\n")) << info.out.toStdString();
    EXPECT_TRUE(info.err.startsWith("vexolan: notes.tif: not a TIFF file"))
        << info.err.toStdString();
}

// The quantitative maps of the test slide, calibrated, as an independent reader reads them:
// 32-bit float pages with their names and units, and values at the discs and the field that
// are the slide's truth, without the engine's rounding.
void HeadlessTest::expect_maps_truth(const QString& path) {
    QProcess reader;
    reader.start(MAPS_PYTHON3,
                 {CHECK_MAPS, path, "0.25,0.30", "0.75,0.30", "0.25,0.72", "0.75,0.72", "0.5,0.5"});
    ASSERT_TRUE(reader.waitForFinished(60000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QJsonObject maps = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    EXPECT_TRUE(maps["is_ome"].toBool());
    EXPECT_EQ(maps["dtype"].toString(), "float32");
    EXPECT_EQ(maps["shape"].toArray(), QJsonArray({8, 480, 640}));
    const QJsonArray names = {"T",         "|sin d|",          "R",           "phi", "sigma R",
                              "sigma phi", "orientation mask", "clipped mask"};
    EXPECT_EQ(maps["page_names"].toArray(), names);
    EXPECT_EQ(maps["channels"].toArray(), names);
    const QJsonObject notes = maps["annotations"].toObject();
    EXPECT_EQ(notes["unit of R"].toString(), "nm");
    EXPECT_EQ(notes["unit of phi"].toString(), "degree");
    EXPECT_EQ(notes["unit of T"].toString(), "1");
    EXPECT_EQ(notes["wavelength nm"].toString(), "550");
    EXPECT_EQ(notes["calibrated"].toString(), "yes");
    EXPECT_EQ(notes["integrations"].toString(), "11");
    EXPECT_TRUE(notes["background files"].toString().contains("04x_o_640 x 480_550_0.bmp"));
    const struct {
        double transmission, sin_d, slow_axis;
    } truth[] = {{0.7, 0.2, 0}, {0.7, 0.4, 45}, {0.7, 0.6, 90}, {0.7, 0.8, 135}, {0.9, 0, -1}};
    const QJsonArray at = maps["at"].toArray();
    ASSERT_EQ(at.size(), 5);
    std::vector<double> ratios;
    for (int i = 0; i < 5; ++i) {
        const QJsonArray median = at[i].toObject()["median"].toArray();
        const QJsonArray spread = at[i].toObject()["spread"].toArray();
        SCOPED_TRACE(i);
        const double sin_d = median[1].toDouble();
        EXPECT_NEAR(median[0].toDouble(), truth[i].transmission, 0.01);
        EXPECT_NEAR(sin_d, truth[i].sin_d, 0.005);
        EXPECT_NEAR(median[2].toDouble(), 550 / (2 * std::numbers::pi) * std::asin(sin_d), 0.05);
        EXPECT_EQ(median[7].toDouble(), 0) << "clipped";
        if (truth[i].slow_axis < 0) { // the empty field: no orientation to show
            EXPECT_EQ(median[6].toDouble(), 0);
            continue;
        }
        EXPECT_EQ(median[6].toDouble(), 1);
        EXPECT_NEAR(std::remainder(median[3].toDouble() - truth[i].slow_axis, 180.0), 0, 0.3);
        // the uncertainties the maps give against the spread they show over 49 pixels
        for (const auto& [value, sigma] : {std::pair{3, 5}, std::pair{2, 4}})
            ratios.push_back(spread[value].toDouble() / median[sigma].toDouble());
    }
    // on the whole within 20% (each ratio of 49 pixels alone scatters by some 10%)
    double mean = 0;
    for (double r : ratios) mean += r / double(ratios.size());
    EXPECT_NEAR(mean, 1, 0.2) << "sigma maps against the spread seen";
}

// The exit status: the engine's result code, 20 when no measurement could start, 2 for
// arguments that do not fit; nothing is kept under the base name of a failed one.
TEST_F(HeadlessTest, ExitStatus) {
    // the virtual camera and the stage's motor settings; an engine that answers 6
    auto settings = [this](const char* dark_level) {
        write_settings(
            QByteArray("Virtual microscope\r\n200\r\n0\r\n0\r\n0\r\n2000\r\n11\r\n1\r\n1\r\n"
                       "200\r\n1\r\n1\r\n1\r\n2\r\n0.2500 0.1000 0.0500 0.0250\r\n"
                       "0 0 0 1 0 0 1 0 0 0 0 0 1 0\r\n") +
            dark_level + "\r\n10\r\n1 1 1 1\r\n\r\n");
    };
    settings("0.15");
    ASSERT_TRUE(QFile::remove(file("libtarnwick.so")));
    ASSERT_TRUE(QFile::copy(ENGINE_STUB, file("libtarnwick.so")));
    write_bytes(file("engine_code.txt"), "6");
    const QString standin = "LD_LIBRARY_PATH=" + QFileInfo(PHIDGET22_STANDIN).absolutePath();
    const struct {
        QStringList arguments;
        int status;
        const char* says;
        QStringList environment = {};
    } cases[] = {
        {{"--simulate", "--measure", "run"}, 6, "vexolan: Input Parameter Error\n"},
        {{"--measure", "run"},
         20,
         "vexolan: no measurement could start: the polarizer's motor is not connected: "},
        {{"--measure", "run"},
         20,
         "vexolan: no measurement could start: the polarizer's motor is not connected: no "
         "Phidget stepper attached\n",
         {standin, "PHIDGET_STANDIN_BOARD=none"}},
        {{"--simulate", "--measure", "run", "--collect-background"}, 2, "two runs"},
        {{"--simulate", "--sample", "glass", "--measure", "run"}, 2, "no sample \"glass\""},
        {{"--simulate", "--mesure", "run"}, 2, "Unknown option 'mesure'"},
        {{"--simulate", "--measure"}, 2, "Missing value after '--measure'"},
        {{"--simulate", "--measure="}, 2, "--measure needs the base name"},
        {{"--simulate", "run"}, 2, "unexpected argument \"run\""},
        {{"--stepper-name", "x", "--measure", "run"}, 2, "give --simulate too"},
        {{"--simulate", "--seed", "-1", "--measure", "run"}, 2, "--seed needs a whole number"},
        {{"--simulate", "--seed", "18446744073709551616", "--measure", "run"}, 2, "not \"1844"},
        {{"--simulate", "--backlash", "11", "--measure", "run"},
         2,
         "--backlash needs degrees from 0 to 10, not \"11\""},
        {{"--simulate", "--lamp-drift", "nan", "--measure", "run"}, 2, "from -10 to 10, not \"nan"},
        {{"--sample-motion", "ten", "--measure", "run"}, 2, "--sample-motion needs pixels"},
        {{"--backlash", "1", "--measure", "run"},
         2,
         "play of the simulated motor; give --simulate"},
    };
    for (const auto& c : cases) {
        const Outcome o = vexolan(c.arguments, c.environment);
        EXPECT_EQ(o.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(o.err.contains(c.says)) << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << o.out.toStdString();
        EXPECT_TRUE(QDir(file("work")).isEmpty());
    }
    // a dark level that is no number: refused before the polarizer turns, and said why
    settings("not a number");
    const Outcome o = vexolan({"--simulate", "--measure", "run"});
    EXPECT_EQ(o.status, 20);
    EXPECT_TRUE(o.err.contains("error: The dark level \"not a number\" is not a number from 0 to "
                               "0.95 (Set-up page, Calibrations)."))
        << o.err.toStdString();
    EXPECT_FALSE(o.err.contains("forward")) << o.err.toStdString();
    EXPECT_TRUE(QDir(file("work")).isEmpty());
}

// The instrument's faults, switched on in the virtual microscope, are found by holding the
// forward pass against the backward one and said in the status and a warning; the clean
// run of CollectBackgroundThenMeasure says none of them.
TEST_F(HeadlessTest, PassesFindBacklashAndLampDrift) {
    const struct {
        QStringList fault;
        const char* note;
        const char* warning;
        const char* not_said;
    } cases[] = {
        {{"--backlash", "0.5"},
         ", polarizer backlash 0.5°\n",
         "the polarizer up to 0.5° apart",
         "lamp drift"},
        {{"--lamp-drift", "1"}, ", lamp drift ", "the lamp's light changed by", "backlash"},
        {{"--sample-motion", "2"}, ", sample moved", "moved, or the scene changed", nullptr},
    };
    for (const auto& c : cases) {
        const Outcome o = vexolan(QStringList{"--simulate", "--measure", "run"} + c.fault);
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains("vexolan: Ready, not corrected")) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(c.note)) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(c.warning)) << o.err.toStdString();
        if (c.not_said) {
            EXPECT_FALSE(o.err.contains(c.not_said)) << o.err.toStdString();
        }
    }
}

// A signal during the measurement closes the window in order: the close waits until the
// polarizer, at 45 degrees then, is home; the run says it was interrupted and keeps nothing.
TEST_F(HeadlessTest, ASignalEndsTheMeasurementInOrder) {
    QProcess p;
    without_display(p, file("work"));
    p.setReadChannel(QProcess::StandardError); // where the progress comes
    p.start(program(), {"--simulate", "--measure", "run"});
    QByteArray err;
    while (!err.contains("90° forward (3/9)") && p.waitForReadyRead(30000))
        err += p.readAllStandardError();
    ASSERT_TRUE(err.contains("90° forward (3/9)")) << err.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 20) << err.toStdString();
    EXPECT_TRUE(err.endsWith("vexolan: interrupted: the window was closed during the sequence\n"))
        << err.toStdString();
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(QDir(file("work")).isEmpty());
    EXPECT_TRUE(QFile::exists(settings_path())); // the orderly close wrote the settings
}

// Without --simulate the program drives the Phidget board through libphidget22 (here the
// stand-in, found on LD_LIBRARY_PATH as the vendor's would be) and films with the camera
// of the settings file, the virtual microscope's: the measurement ends "Ready", and the
// board was told the four angles forward, back and home.
TEST_F(HeadlessTest, MeasuresOnThePhidgetBoard) {
    write_settings("Virtual microscope\r\n200\r\n0\r\n0\r\n0\r\n2000\r\n11\r\n1\r\n1\r\n200\r\n"
                   "1\r\n1\r\n1\r\n2\r\n0.2500 0.1000 0.0500 0.0250\r\n"
                   "0 0 0 1 0 0 1 0 0 0 0 0 1 0\r\n0.15\r\n10\r\n1 1 1 1\r\n\r\n");
    const QString log = file("board.log");
    const Outcome o = vexolan({"--measure", "run"},
                              {"LD_LIBRARY_PATH=" + QFileInfo(PHIDGET22_STANDIN).absolutePath(),
                               "PHIDGET_STANDIN_LOG=" + log});
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("vexolan: 0° back (9/9)\nvexolan: Ready, not corrected\n"))
        << o.err.toStdString();
    EXPECT_FALSE(o.err.contains("error")) << o.err.toStdString();
    // motor 1's targets, each new one once
    QList<int> targets;
    for (const QByteArray& line : read_bytes(log).split('\n'))
        if (line.startsWith("target 0 ") &&
            (targets.isEmpty() || targets.back() != line.mid(9).toInt()))
            targets << line.mid(9).toInt();
    EXPECT_EQ(targets, (QList<int>{0, 25, 50, 75, 50, 25, 0}));
}
