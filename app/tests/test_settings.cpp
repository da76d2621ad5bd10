// The settings file "vexolan.ini": read at creation, written at every orderly close.
#include "window_fixture.h"

#include <QDir>
#include <QLocale>

namespace {

// The file a window writes after activation with everything at its start-up value.
const QByteArray defaults =
    "None\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n2\r\n"
    "0.2500 0.1000 0.0500 0.0250\r\n0 0 0 1 0 0 1 0 0 0 0 0 1 0\r\n0.15\r\n10\r\n1 1 1 1\r\n\r\n";

QByteArray lines(const QByteArray& text, int n) {
    QList<QByteArray> all = text.split('\n');
    QByteArray out;
    for (int i = 0; i < n && i < all.size(); ++i) out += all[i] + "\n";
    return out;
}

} // namespace

TEST_F(WindowTest, SettingsRoundTrip) {
    {
        QLocale::setDefault(QLocale(QLocale::German)); // numbers in the file keep their "."
        auto form = make_window();
        form->FormActivate();
        EXPECT_TRUE(form->FormClose());
        EXPECT_EQ(read_settings(), defaults);
        EXPECT_EQ(ended, 1);
        QLocale::setDefault(QLocale::c());
    }
    const QByteArray custom =
        "Some "
        "Camera\r\n200\r\n400\r\n0\r\n0\r\n11\r\n12\r\n13\r\n14\r\n21\r\n22\r\n23\r\n24\r\n3\r\n"
        "0.2500 0.1250 0.0500 0.0200\r\n0 1 0 0 0 0 0 0 1 0 0 0 0 1\r\n0.2\r\n25\r\n-1 1 1 1\r\n"
        "/opt/camera app/run\r\n";
    write_settings(custom);
    auto form = make_window();
    EXPECT_EQ(form->camera.video_driver_name, "Some Camera");
    EXPECT_EQ(form->motor.steps_per_turn, (std::array<int32_t, 4>{200, 400, 0, 0}));
    EXPECT_EQ(form->motor.acceleration, (std::array<int32_t, 4>{11, 12, 13, 14}));
    EXPECT_EQ(form->motor.speed, (std::array<int32_t, 4>{21, 22, 23, 24}));
    EXPECT_EQ(form->camera.resolution, 3);
    EXPECT_EQ(form->Edit3->text(), "0.125");
    EXPECT_TRUE(form->green->isChecked());
    EXPECT_FALSE(form->monochrome->isChecked());
    EXPECT_TRUE(form->Ob20->isChecked());
    EXPECT_TRUE(form->conoscopic->isChecked());
    EXPECT_EQ(form->darklevel->text(), "0.2");
    EXPECT_EQ(form->Integrations->value(), 25);
    EXPECT_EQ(form->integration.count, 25);
    EXPECT_TRUE(form->RadioButton7->isChecked());
    EXPECT_EQ(form->motor.sense[0], -1);
    EXPECT_EQ(form->camera.software_path, "/opt/camera app/run");
    // written back as read, but for the device, which is "None" without a capture device
    form->FormClose();
    EXPECT_EQ(read_settings(), "None" + custom.mid(custom.indexOf("\r\n")));
}

TEST_F(WindowTest, SettingsFileMissingShortOrDamaged) {
    {
        auto form = make_window(); // no file: start-up values and designed controls
        EXPECT_EQ(form->motor.steps_per_turn[0], 1);
        EXPECT_TRUE(form->monochrome->isChecked());
        EXPECT_NE(sim, nullptr);
    }
    {
        // 14 lines: the scales come from the designed edits when activation parses them
        write_settings(
            lines(defaults, 14).replace("1\r\n0\r\n0\r\n0\r\n", "50\r\n0\r\n0\r\n0\r\n"));
        auto form = make_window();
        EXPECT_EQ(form->motor.steps_per_turn[0], 50);
        form->FormActivate();
        EXPECT_DOUBLE_EQ(static_cast<double>(form->readings.image_scale[1]), 0.1);
        EXPECT_TRUE(form->RadioButton6->isChecked()); // motor 1's start-up sense
    }
    {
        // a word where a number belongs: what came before it stands, the rest keeps its
        // start-up value, and the window is created completely, the controller included
        write_settings("Cam\r\n300\r\nabc\r\n0\r\n0\r\n5\r\n5\r\n5\r\n5\r\n");
        sim = nullptr;
        auto form = make_window();
        EXPECT_EQ(form->camera.video_driver_name, "Cam");
        EXPECT_EQ(form->motor.steps_per_turn, (std::array<int32_t, 4>{300, 0, 0, 0}));
        EXPECT_EQ(form->motor.acceleration, (std::array<int32_t, 4>{1, 1, 1, 1}));
        EXPECT_NE(sim, nullptr);
        EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);
        EXPECT_TRUE(dialogs.errors.isEmpty());
    }
}

TEST_F(WindowTest, ColourFlagsAreSetInTheirOrder) {
    const struct {
        const char* flags;
        QRadioButton* TForm1::*checked; // nullptr: no colour button checked
    } cases[] = {
        {"1 1 0 0", &TForm1::green}, // checking a button unchecks its siblings
        {"1 0 1 0", &TForm1::blue},
        {"0 0 0 0", nullptr},
        {"1 0 0 0", &TForm1::red},
    };
    for (const auto& c : cases) {
        QByteArray text = defaults;
        text.replace("0 0 0 1 0 0 1", QByteArray(c.flags) + " 0 0 1");
        write_settings(text);
        auto form = make_window();
        for (QRadioButton* TForm1::*b :
             {&TForm1::red, &TForm1::green, &TForm1::blue, &TForm1::monochrome})
            EXPECT_EQ((*form.*b)->isChecked(), b == c.checked)
                << c.flags << " " << (*form.*b)->objectName().toStdString();
    }
}

TEST_F(WindowTest, FailedSettingsWriteIsNotReportedAndTheProgramEnds) {
    QDir().mkdir(settings_path()); // a folder in the file's place: the write fails
    auto form = make_window();
    EXPECT_TRUE(form->FormClose());
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(QFileInfo(settings_path()).isDir());
    EXPECT_TRUE(
        QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()); // no temporary left
}
