// The engine run: the option string from the controls, one run a second after the last
// change, the library loaded for each run, and the status of every outcome.
#include "file_bytes.h"
#include "results_fixture.h"

#include "ui/wait.h"

#include <QDir>

#include <sys/stat.h>

namespace {

QStringList calls_in(const QString& path) {
    return QString::fromLocal8Bit(read_bytes(path)).split('\n', Qt::SkipEmptyParts);
}

} // namespace

TEST_F(ResultsTest, OptionStringFromTheControls) {
    const struct {
        const char* name;
        std::function<void(TForm1&)> change;
        const char* options; // after the folder
        const char* nm;      // the wavelength text afterwards
    } cases[] = {
        {"start values", [](TForm1&) {}, "-s 0.025 -U 1 -d 0.15 -C m", "1"},
        {"colour maximum 0.15", [](TForm1& f) { ui::set_position(f.TrackBar4, 3); },
         "-s 0.166666666666667 -U 0.15 -d 0.15 -C m", "1"},
        {"limit 0.30 over maximum 0.05",
         [](TForm1& f) {
             ui::set_position(f.TrackBar4, 1);
             ui::set_position(f.sindthreshhold1, 60);
         },
         "-s 6 -U 0.05 -d 0.15 -C m", "1"},
        {"no limit", [](TForm1& f) { ui::set_position(f.sindthreshhold1, 0); },
         "-s 0 -U 1 -d 0.15 -C m", "1"},
        {"blue", [](TForm1& f) { ui::set_checked(f.blue, true); }, "-s 0.025 -U 1 -d 0.15 -C b",
         "500"},
        {"red", [](TForm1& f) { ui::set_checked(f.red, true); }, "-s 0.025 -U 1 -d 0.15 -C r",
         "600"},
        {"green", [](TForm1& f) { ui::set_checked(f.green, true); }, "-s 0.025 -U 1 -d 0.15 -C g",
         "550"},
        {"monochrome again",
         [](TForm1& f) {
             ui::set_checked(f.blue, true);
             ui::set_checked(f.monochrome, true);
         },
         "-s 0.025 -U 1 -d 0.15 -C m", "550"},
        {"dark level as a number, sent with the next change",
         [](TForm1& f) {
             ui::set_text(f.darklevel, " 0.20");
             ui::set_position(f.sindthreshhold1, 10);
         },
         "-s 0.05 -U 1 -d 0.2 -C m", "1"},
        {"no channel checked",
         [](TForm1& f) {
             ui::set_checked(f.monochrome, false);
             f.sindthreshhold1Change();
         },
         "-s 0.025 -U 1 -d 0.15", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto form = make_window();
        form->FormActivate();
        ui::set_text(form->nm, "1");
        c.change(*form);
        EXPECT_EQ(form->Edit1->text(), "-P \"" + folder.path() + "/\" " + c.options);
        EXPECT_EQ(form->nm->text(), c.nm);
        EXPECT_EQ(form->analysis.wavelength, QString(c.nm).toInt());
        EXPECT_TRUE(form->Timer4->enabled());
    }
}

// A wavelength text that is no whole number keeps the last one for the records.
TEST_F(ResultsTest, WavelengthKeepsItsLastWholeNumber) {
    auto form = make_window();
    ui::set_text(form->nm, "589");
    ui::set_text(form->nm, "589.3");
    EXPECT_EQ(form->analysis.wavelength, 589);
    ui::set_text(form->nm, "");
    EXPECT_EQ(form->analysis.wavelength, 589);
}

// Changes within a second make one run, a second after the last of them, with the
// options of that moment, in the measurement folder as the current directory.
TEST_F(ResultsTest, OneRunPerBurstOfChanges) {
    install_engine(ENGINE_STUB);
    auto form = make_window();
    ui::set_position(form->sindthreshhold1, 10);
    ui::wait_until([] { return false; }, 300);
    ui::set_position(form->sindthreshhold1, 5);
    EXPECT_GT(form->Timer4->remaining(), 750); // the wait started again (else about 700 left)
    ASSERT_TRUE(
        ui::wait_until([&] { return !calls_in(file("engine_calls.txt")).isEmpty(); }, 3000));
    EXPECT_FALSE(form->Timer4->enabled()); // nothing else pending
    const QStringList calls = calls_in(file("engine_calls.txt"));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0], "-P \"" + folder.path() + "/\" -s 0.025 -U 1 -d 0.15 -C m|" +
                            QDir(folder.path()).canonicalPath());
}

// Every result code becomes its status text, and the library is unloaded again before
// the status is shown.
TEST_F(ResultsTest, StatusTextOfEveryResultCode) {
    install_engine(ENGINE_STUB);
    auto form = make_window();
    const struct {
        int code;
        const char* status;
    } cases[] = {
        {0, "Ready"},
        {1, "Error reading first image"},
        {2, "Error reading second image"},
        {3, "Error reading third image"},
        {4, "Error reading fourth image"},
        {5, "Images have different size"},
        {6, "Input Parameter Error"},
        {7, "Error writing to disk"},
        {8, "Max Image Error"},
        {9, "Unknon or numerical error"},
        {10, "busy"},
        {11, ""},
        {-1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        form->Label13->set_caption("Status");
        form->Start_Sequence->setEnabled(false);
        write_bytes(file("engine_code.txt"), QByteArray::number(c.code)); // the stand-in returns it
        form->sindthreshhold1Change();
        form->Timer4Timer();
        EXPECT_FALSE(form->Timer4->enabled());
        EXPECT_EQ(form->Label13->caption(), c.status);
        EXPECT_FALSE(engine_loaded());
        EXPECT_TRUE(form->Start_Sequence->isEnabled());
    }
    EXPECT_EQ(calls_in(file("engine_calls.txt")).size(), std::size(cases));
}

// No library, a file that is no library, a library without the entry: no run, and the
// result images on screen stay as they were.
TEST_F(ResultsTest, LibraryMissingOrWithoutItsEntry) {
    const QSize size(8, 6);
    write_results(size, uniform(90), uniform(91), uniform(92));
    // the engine library cut short where its loaded segments are, as a failed copy leaves it:
    // loading it would end the program with SIGBUS
    const QByteArray engine = read_bytes(QString::fromLocal8Bit(TARNWICK_LIBRARY));
    const QString library = file("libtarnwick.so");
    const struct {
        const char* name;
        std::function<void()> install;
        const char* status;
        QString diagnostic = {}; // the line for whoever runs the program
    } cases[] = {
        {"no library", [] {}, "DLL not found"},
        {"not a library", [&] { write_bytes(library, "not a library"); }, "DLL not found"},
        {"no entry", [this] { install_engine(ENGINE_WITHOUT_ENTRY); }, "Function in DLL not found"},
        {"cut short", [&] { write_bytes(library, engine.left(engine.size() / 3)); },
         "DLL not found", library + ": damaged: the file ends before what its headers describe"},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(library), 0600), 0); },
         "DLL not found", library + ": not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file("libtarnwick.so"));
        c.install();
        auto form = make_window();
        form->reloadimages();
        const QImage before = form->Image2->picture();
        form->Label1->set_caption("45");
        form->sindthreshhold1Change();
        form->Timer4Timer();
        EXPECT_EQ(form->Label13->caption(), c.status);
        EXPECT_EQ(diagnostics, c.diagnostic.isEmpty() ? QStringList() : QStringList{c.diagnostic});
        diagnostics.clear();
        EXPECT_EQ(form->Label1->caption(), "");
        EXPECT_EQ(form->Image2->picture(), before);
        EXPECT_FALSE(engine_loaded());
        EXPECT_TRUE(form->Start_Sequence->isEnabled());
    }
}

// A program folder whose path the engine's options cannot carry, too long for them (the
// engine would run with whatever was cut off) or holding a double quote (which would end
// the folder there): no run; the status line names the folder, and Start refuses once.
TEST_F(ResultsTest, FoldersTheOptionsCannotCarryAreRefused) {
    install_engine(ENGINE_STUB);
    const struct {
        QString folder;
        const char* says;
    } cases[] = {
        {folder.path() + "/" + QString(240, 'd') + "/", "is too long a path for the engine"},
        {folder.path() + "/a \"quoted\" name/", "holds a double quote"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        ASSERT_TRUE(QDir().mkpath(c.folder));
        auto form = make_window();
        form->shell.measurement_folder = c.folder;
        dialogs.errors.clear();
        form->Timer4Timer();
        EXPECT_TRUE(form->Label13->caption().startsWith("The program folder \"" + c.folder + "\" "))
            << form->Label13->caption().toStdString();
        EXPECT_TRUE(form->Label13->caption().contains(c.says));
        EXPECT_TRUE(dialogs.errors.isEmpty());
        EXPECT_TRUE(calls_in(file("engine_calls.txt")).isEmpty());
        EXPECT_TRUE(form->Start_Sequence->isEnabled());
        form->motor.present = true; // the polarizer is there: the folder refuses the start
        ui::run_handler([&] { form->Start_SequenceClick(); });
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_EQ(dialogs.errors[0], form->Label13->caption());
        EXPECT_FALSE(form->sequence.running);
        form->shell.measurement_folder = folder.path() + "/"; // the program's own runs
        form->Timer4Timer();
        EXPECT_EQ(calls_in(file("engine_calls.txt")).size(), 1);
        QFile::remove(file("engine_calls.txt"));
    }
}

// The real engine on an angle image set of the program folder: "Ready" and its three
// result images on screen. A failing run, or one the program refuses (a dark level that is
// no number from 0 to 0.95 would make the engine's "Input Parameter Error", or another
// option if it held one), shows its status and leaves them as they are.
TEST_F(ResultsTest, RealEngineRunShowsItsResults) {
    install_engine();
    make_angle_set(48);
    auto form = make_window();
    form->sindthreshhold1Change();
    QDir::setCurrent(QDir::tempPath()); // the run makes the measurement folder current
    form->ExecuteTarnwick();
    EXPECT_EQ(form->Label13->caption(), "Ready");
    EXPECT_EQ(QDir::currentPath(), QDir(folder.path()).canonicalPath());
    EXPECT_FALSE(engine_loaded());
    const std::pair<ui::Picture*, const char*> shown[] = {
        {form->Image1, "a0.bmp"}, {form->Image2, "a1.bmp"}, {form->Image3, "a2.bmp"}};
    for (auto [control, name] : shown) {
        EXPECT_EQ(control->picture().size(), QSize(48, 48)) << name;
        EXPECT_EQ(control->picture(), read(file(name))) << name;
    }

    const struct {
        const char* name;
        std::function<void(TForm1&)> prepare;
        const char* status;
    } failures[] = {
        {"status file left over",
         [this](TForm1&) { QFile(file("tarnwick.sta")).open(QIODevice::WriteOnly); }, "busy"},
        {"dark level not a number", [](TForm1& f) { ui::set_text(f.darklevel, "dark"); },
         "The dark level \"dark\" is not a number from 0 to 0.95 (Set-up page, Calibrations)."},
        {"dark level beyond 0.95", [](TForm1& f) { ui::set_text(f.darklevel, "0.96"); },
         "The dark level \"0.96\" is not a number from 0 to 0.95 (Set-up page, Calibrations)."},
        {"dark level with an option behind it",
         [](TForm1& f) { ui::set_text(f.darklevel, "0.15 -P /elsewhere/"); },
         "The dark level \"0.15 -P /elsewhere/\" is not a number from 0 to 0.95 (Set-up page, "
         "Calibrations)."},
        {"no 0.bmp", [this](TForm1&) { QFile::remove(file("0.bmp")); },
         "Error reading first image"},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        form->Image2->xor_rectangle(0, 0, 40, 40); // the picture on screen now
        const QImage on_screen = form->Image2->picture();
        c.prepare(*form);
        form->sindthreshhold1Change();
        ui::run_handler([&] { form->Timer4Timer(); });
        EXPECT_EQ(form->Label13->caption(), c.status);
        EXPECT_EQ(form->Image2->picture(), on_screen);
        QFile::remove(file("tarnwick.sta"));
        ui::set_text(form->darklevel, "0.15");
    }
}
