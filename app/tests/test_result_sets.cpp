// Saving the result images as a set with legend strip and record row, opening a saved
// set, and `vexolan --info` on saved images.
#include "file_bytes.h"
#include "results_fixture.h"

#include <QDir>

#include <sys/stat.h>

namespace {

const QDateTime saved_at(QDate(2010, 3, 3), QTime(14, 5, 9, 998));

// The red components of row 162, columns 331 to 346, and whether green and blue are 0.
std::vector<int> record_row(const QImage& img) {
    std::vector<int> row;
    for (int x = 331; x <= 346; ++x) {
        const QRgb p = img.pixel(x, 162);
        row.push_back(qGreen(p) == 0 && qBlue(p) == 0 ? qRed(p) : -1);
    }
    return row;
}

} // namespace

class ResultSetTest : public ResultsTest {
  protected:
    ResultSetTest() {
        // each reading of the clock 5 ms after the last
        now = [this] { return saved_at.addMSecs(5 * clock_reads++); };
    }
    // Saves the displayed images under `name` through the save button.
    void save_as(TForm1& f, const QString& name) {
        dialogs.files.push_back(name);
        f.SpeedButton1->click();
    }
    void open(TForm1& f, const QString& name) {
        dialogs.files.push_back(name);
        f.Openimages->click();
    }
    int clock_reads = 0;
};

// Saving under quartz.bmp writes quartz.a1.bmp, quartz.a2.bmp, quartz.a0.bmp in this
// order, each 370 x 240 at 32 bits: the displayed picture, the legend strip of its
// quantity as drawn now, and the record row.
TEST_F(ResultSetTest, SavedSetHoldsPictureLegendAndRecord) {
    write_results(
        {320, 240}, [](int x, int y) { return (x + 2 * y) % 255 + 1; },
        [](int x, int) { return x % 256; }, [](int, int y) { return y; });
    auto form = make_window();
    form->FormActivate();
    ui::set_checked(form->Ob10, true);
    form->reloadimages();
    form->Image2->xor_rectangle(5, 5, 50, 40); // a selection on display is saved with it
    save_as(*form, folder.path() + "/quartz.bmp");

    ASSERT_EQ(dialogs.file_dialogs.size(), 1u);
    EXPECT_EQ(dialogs.file_dialogs[0].kind, ui::FileDialog::Kind::save);
    EXPECT_EQ(dialogs.file_dialogs[0].filter, "Windows Bitmap|*.bmp|All Files|*.*");
    EXPECT_EQ(dialogs.file_dialogs[0].default_extension, "BMP");
    EXPECT_TRUE(form->SaveDialog1.prompt_overwrite);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
    EXPECT_FALSE(QFile::exists(file("quartz.bmp")));
    EXPECT_TRUE(form->RadioButton5->isChecked());

    const struct {
        const char* name;
        ui::Picture *shown, *legend;
        int kind;
        std::vector<int>
            time; // day, month, year, minute, hour, second, ms / 5: the order of saving
    } files[] = {
        {"quartz.a1.bmp", form->Image2, form->legend1, 1, {3, 3, 10, 5, 14, 9, 200}},
        {"quartz.a2.bmp", form->Image3, form->legend2, 2, {3, 3, 10, 5, 14, 10, 1}},
        {"quartz.a0.bmp", form->Image1, form->legend3, 3, {3, 3, 10, 5, 14, 10, 2}},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        QFile raw(file(f.name));
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        ASSERT_EQ(bytes.size(), 54 + 370 * 240 * 4);
        EXPECT_EQ(bytes[28], 32); // bits per pixel
        EXPECT_EQ(bytes[30], 0);  // no compression
        const QImage saved = read(file(f.name));
        ASSERT_EQ(saved.size(), QSize(370, 240));
        EXPECT_EQ(saved.copy(0, 0, 320, 240), f.shown->picture());
        QImage strip = saved.copy(320, 0, 50, 240);
        for (int x = 11; x <= 26; ++x) strip.setPixel(x, 162, f.legend->picture().pixel(x, 162));
        EXPECT_EQ(strip, f.legend->picture());
        std::vector<int> expected = {100, 110, 10, f.kind, 1, 0, 0, 255};
        expected.insert(expected.end(), f.time.begin(), f.time.end());
        expected.push_back(0);
        EXPECT_EQ(record_row(saved), expected);
    }
}

// Without an optic or an objective their pixels keep the legend's colour; other
// settings are recorded as they are.
TEST_F(ResultSetTest, RecordRowOfOtherSettings) {
    write_uniform_results({320, 240}, 9);
    auto form = make_window();
    form->FormActivate();
    form->reloadimages();
    ui::set_checked(form->conoscopic, true);
    ui::set_checked(form->ob04, false);
    ui::set_position(form->TrackBar4, 3); // 0.15: 38.25 -> 38
    ui::set_text(form->nm, "1302");       // 260.4 -> 260 -> low eight bits 4
    save_as(*form, folder.path() + "/calcite");
    const QImage a1 = read(file("calcite.a1.bmp"));
    const std::vector<int> row = record_row(a1);
    EXPECT_EQ(std::vector<int>(row.begin(), row.begin() + 8),
              (std::vector<int>{200, 4, 0, 1, 1, 0, 0, 38}));
    EXPECT_EQ(a1.pixel(333, 162), form->legend1->picture().pixel(13, 162));

    ui::set_checked(form->conoscopic, false);
    ui::set_checked(form->orthoscopic, false);
    save_as(*form, folder.path() + "/calcite.bmp");
    EXPECT_EQ(read(file("calcite.a0.bmp")).pixel(331, 162),
              form->legend3->picture().pixel(11, 162));
}

// Results of another size are scaled to 320 x 240 by picking source pixels: each saved
// pixel of a 640 x 480 result is one of the four pixels of its 2 x 2 block, and neighbours
// differ, so a blend of them would show.
TEST_F(ResultSetTest, LargerResultsAreScaledWithoutNewColours) {
    write_results(
        {640, 480}, [](int x, int y) { return (x * 7 + y * 13) % 255 + 1; },
        [](int x, int y) { return (x * 3 + y * 5) % 256; }, [](int x, int) { return x % 256; });
    auto form = make_window();
    form->reloadimages();
    save_as(*form, folder.path() + "/big.bmp");
    for (auto [name, source] :
         {std::pair{"big.a0.bmp", "a0.bmp"}, {"big.a1.bmp", "a1.bmp"}, {"big.a2.bmp", "a2.bmp"}}) {
        SCOPED_TRACE(name);
        const QImage saved = read(file(name)), full = read(file(source));
        int foreign = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const QRgb p = saved.pixel(x, y);
                foreign += p != full.pixel(2 * x, 2 * y) && p != full.pixel(2 * x + 1, 2 * y) &&
                           p != full.pixel(2 * x, 2 * y + 1) &&
                           p != full.pixel(2 * x + 1, 2 * y + 1);
            }
        EXPECT_EQ(foreign, 0);
    }
}

// A file that cannot be written ends the save with the error shown: the images before it
// are saved, it and the rest are not, and no partial file is left. A cancelled dialog
// writes nothing.
TEST_F(ResultSetTest, SaveFailureIsShownAndLeavesNoPartialFile) {
    write_uniform_results({320, 240}, 9);
    auto form = make_window();
    form->reloadimages();
    dialogs.files.push_back(""); // cancelled
    form->SpeedButton1->click();
    EXPECT_EQ(QDir(folder.path()).entryList({"set*"}), QStringList());

    ASSERT_TRUE(QDir(folder.path()).mkdir("set.a2.bmp")); // in the way of the second image
    save_as(*form, folder.path() + "/set.bmp");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(folder.path() + "/set.a2.bmp"))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(QFile::exists(file("set.a1.bmp")));
    EXPECT_FALSE(QFile::exists(file("set.a0.bmp")));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).filter("set"),
              QStringList{"set.a1.bmp"});
}

// Opening any file of a set shows the set: its files become the result image set, the
// controls widen to 370 over their legends, and saving waits for the next threshold
// change, which also narrows the controls again.
TEST_F(ResultSetTest, OpeningASetShowsItFromAnyOfItsNames) {
    QDir(folder.path()).mkdir("my.sets");
    const QString sets = folder.path() + "/my.sets/";
    write_results(
        {320, 240}, [](int x, int) { return x % 255 + 1; }, [](int x, int) { return x % 256; },
        [](int, int y) { return y; });
    {
        auto form = make_window();
        form->reloadimages();
        save_as(*form, sets + "quartz.bmp");
    }
    for (const char* chosen : {"quartz.a2.bmp", "quartz.a0.bmp", "quartz.bmp"}) {
        SCOPED_TRACE(chosen);
        write_results({64, 48}, uniform(1), uniform(2), uniform(3));
        auto form = make_window();
        form->reloadimages();
        open(*form, sets + chosen);
        EXPECT_EQ(dialogs.file_dialogs.back().kind, ui::FileDialog::Kind::open);
        EXPECT_EQ(dialogs.file_dialogs.back().filter, "Windows Bitmap|*.bmp|All Files|*.*");
        EXPECT_EQ(dialogs.file_dialogs.back().default_extension, "BMP");
        const std::pair<ui::Picture*, const char*> shown[] = {
            {form->Image1, "a0"}, {form->Image2, "a1"}, {form->Image3, "a2"}};
        for (auto [control, name] : shown) {
            EXPECT_EQ(read(file(QString(name) + ".bmp")), read(sets + "quartz." + name + ".bmp"))
                << name;
            EXPECT_EQ(control->picture(), read(sets + "quartz." + name + ".bmp")) << name;
            EXPECT_EQ(control->size(), QSize(370, 240)) << name;
        }
        EXPECT_EQ(form->display.result_width, 370);
        EXPECT_FALSE(form->SpeedButton1->isEnabled());
        // a threshold change whose run brings no results leaves the set shown as it is
        ui::set_position(form->TrackBar4, 19);
        form->Timer4Timer();
        EXPECT_EQ(form->Label13->caption(), "DLL not found");
        EXPECT_FALSE(form->SpeedButton1->isEnabled());
        EXPECT_EQ(form->Image2->size(), QSize(370, 240));
    }
}

// A set is opened whole or not at all: a file of a set whose other files are missing, a
// bitmap that is no saved result image, or a set whose files were mixed up is named in a
// message, and the results shown and their files stay as they are.
TEST_F(ResultSetTest, OpeningWhatIsNoWholeSetChangesNothing) {
    write_results({320, 240}, uniform(7), uniform(8), uniform(9));
    auto form = make_window();
    form->reloadimages();
    const QString sets = folder.path() + "/elsewhere/";
    QDir(folder.path()).mkdir("elsewhere");
    save_as(*form, sets + "quartz.bmp");
    ASSERT_TRUE(QFile::copy(sets + "quartz.a1.bmp", sets + "mixed.a1.bmp"));
    ASSERT_TRUE(QFile::copy(sets + "quartz.a1.bmp", sets + "mixed.a2.bmp"));
    ASSERT_TRUE(QFile::copy(sets + "quartz.a0.bmp", sets + "mixed.a0.bmp"));
    QFile::remove(sets + "quartz.a0.bmp");
    QFile::remove(sets + "quartz.a2.bmp");
    ASSERT_TRUE(bitmap_file::write(sets + "holiday.bmp", QImage(64, 48, QImage::Format_RGB32)));
    const QByteArray a1 = read_bytes(file("a1.bmp"));
    const QImage shown = form->Image2->picture();
    const struct {
        const char* chosen;
        QString says;
    } cases[] = {
        {"quartz.a1.bmp", "elsewhere/quartz.a0.bmp is missing."},
        {"holiday.bmp", "elsewhere/holiday.a0.bmp is missing."},
        {"mixed.a2.bmp", "elsewhere/mixed.a2.bmp holds the |sin(d)| image of a set, not the phi "
                         "image."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs.messages.clear();
        open(*form, sets + c.chosen);
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].startsWith("\"" + sets + c.chosen +
                                                   "\" is not a saved result set: "))
            << dialogs.messages[0].toStdString();
        EXPECT_TRUE(dialogs.messages[0].endsWith(c.says)) << dialogs.messages[0].toStdString();
        EXPECT_EQ(read_bytes(file("a1.bmp")), a1);
        EXPECT_EQ(form->Image2->picture(), shown);
        EXPECT_EQ(form->Image1->size(), QSize(320, 240));
    }

    dialogs.files.push_back(""); // cancelled: nothing changes
    form->SpeedButton1->setEnabled(true);
    form->Openimages->click();
    EXPECT_TRUE(form->SpeedButton1->isEnabled());
}

// An opened set is read with the colour maximum it was saved with, whatever the slider
// says now: the 0.4 of a set saved at 0.5 reads 0.4 with the slider at 1.
TEST_F(ResultSetTest, AnOpenedSetReadsWithItsOwnColourMaximum) {
    install_engine(ENGINE_STUB);
    write_uniform_results({320, 240}, 204); // 0.4 at the colour maximum 0.5
    {
        auto form = make_window();
        ui::set_position(form->TrackBar4, 10);
        form->Timer4Timer(); // the engine's results, at 0.5
        ASSERT_EQ(form->display.shown_maximum, 0.5L);
        save_as(*form, folder.path() + "/at_half.bmp");
    }
    auto form = shown_window();
    ASSERT_EQ(form->display.sind_maximum, 1);
    open(*form, folder.path() + "/at_half.a1.bmp");
    EXPECT_EQ(form->display.shown_maximum, 0.5L);
    press(*form, form->Image2, {100, 100});
    move(*form, form->Image2, {104, 103});
    release(*form, form->Image2, {104, 103});
    EXPECT_EQ(form->Label34->caption(), "sin(d)=0.4");
}

// `vexolan --info` prints the record rows of saved images, without a display, and names
// every file that is no saved result image on standard error.
TEST_F(ResultSetTest, InfoPrintsRecordRowsWithoutADisplay) {
    write_uniform_results({320, 240}, 9);
    {
        auto form = make_window();
        form->FormActivate();
        ui::set_checked(form->Ob10, true);
        form->reloadimages();
        save_as(*form, folder.path() + "/quartz.bmp");
    }
    ASSERT_TRUE(bitmap_file::write(file("small.bmp"), QImage(64, 48, QImage::Format_RGB32)));
    QFile::copy(file("quartz.a1.bmp"), file("damaged.bmp"));
    QFile(file("damaged.bmp")).resize(1000);
    QImage unfixed = read(file("quartz.a0.bmp"));
    unfixed.setPixel(335, 162, qRgb(2, 0, 0));
    ASSERT_TRUE(bitmap_file::write(file("unfixed.bmp"), unfixed));

    QProcess info;
    without_display(info, folder.path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("fifo.bmp")), 0600), 0); // never blocks on it
    info.start(VEXOLAN_PROGRAM,
               {"--info", "quartz.a1.bmp", "small.bmp", "quartz.a2.bmp", "damaged.bmp",
                "quartz.a0.bmp", "unfixed.bmp", "missing.bmp", "fifo.bmp"});
    ASSERT_TRUE(info.waitForFinished(20000));
    EXPECT_EQ(info.exitCode(), 1);
    EXPECT_EQ(QString(info.readAllStandardOutput()), "file: quartz.a1.bmp\n"
                                                     "kind: |sin(d)|\n"
                                                     "optic: orthoscopic\n"
                                                     "wavelength: 550 nm\n"
                                                     "objective: 10x\n"
                                                     "sin(d) colour maximum: 1\n"
                                                     "saved: 2010-03-03 14:05:09\n"
                                                     "\n"
                                                     "file: quartz.a2.bmp\n"
                                                     "kind: phi\n"
                                                     "optic: orthoscopic\n"
                                                     "wavelength: 550 nm\n"
                                                     "objective: 10x\n"
                                                     "sin(d) colour maximum: 1\n"
                                                     "saved: 2010-03-03 14:05:10\n"
                                                     "\n"
                                                     "file: quartz.a0.bmp\n"
                                                     "kind: I/I0\n"
                                                     "optic: orthoscopic\n"
                                                     "wavelength: 550 nm\n"
                                                     "objective: 10x\n"
                                                     "sin(d) colour maximum: 1\n"
                                                     "saved: 2010-03-03 14:05:10\n");
    const QStringList errors = QString(info.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(errors.size(), 5) << errors.join(" | ").toStdString();
    EXPECT_TRUE(errors[0].startsWith("vexolan: small.bmp: ") && errors[0].contains("64 x 48"));
    EXPECT_TRUE(errors[1].startsWith("vexolan: damaged.bmp: "));
    EXPECT_TRUE(errors[2].startsWith("vexolan: unfixed.bmp: ") && errors[2].contains("1, 0, 0"));
    EXPECT_TRUE(errors[3].startsWith("vexolan: missing.bmp: "));
    EXPECT_TRUE(errors[4].startsWith("vexolan: fifo.bmp: "));

    info.start(VEXOLAN_PROGRAM, {"--info", "quartz.a2.bmp"});
    ASSERT_TRUE(info.waitForFinished(20000));
    EXPECT_EQ(info.exitCode(), 0);
    EXPECT_TRUE(info.readAllStandardError().isEmpty());
}
