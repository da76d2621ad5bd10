// The behaviour layer the window relies on: timers, waits, the handlers' connections and
// setters with their exceptions, dialogs, termination.
#include "ui/handlers.h"
#include "ui/termination.h"
#include "ui/timer.h"
#include "ui/wait.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <ctime>
#include <stdexcept>

TEST(UiTimer, EnableDoesNotRestartAndIntervalDoes) {
    int fired = 0;
    ui::Timer t(100, [&] { ++fired; });
    t.setEnabled(true);
    ui::pause(60);
    t.setEnabled(true); // already running: keeps its phase, about 40 ms are left
    EXPECT_LT(t.remaining(), 70);
    t.setInterval(200); // a new interval starts the period again
    EXPECT_GT(t.remaining(), 150);
    EXPECT_EQ(t.interval(), 200);
    ASSERT_TRUE(ui::wait_until([&] { return fired == 1; }, 1000));
    t.setEnabled(false);
    EXPECT_FALSE(t.enabled());
    ui::wait_until([] { return false; }, 250);
    EXPECT_EQ(fired, 1);
}

TEST(UiWait, SleepsOnTheEventQueue) {
    const std::clock_t cpu = std::clock();
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(ui::wait_until([] { return false; }, 300));
    EXPECT_GE(wall.elapsed(), 300);
    // a spinning wait would burn the whole 300 ms of processor time
    EXPECT_LT(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0.1);
}

TEST(UiControls, RadioButtonsCheckFromCodeAndUncheck) {
    QWidget parent;
    auto* a = new QRadioButton(&parent);
    auto* b = new QRadioButton(&parent);
    int clicks = 0;
    ui::on_checked(b, &parent, [&] { ++clicks; });
    ui::set_checked(b, true);
    EXPECT_EQ(clicks, 1);
    ui::set_checked(a, true);
    EXPECT_FALSE(b->isChecked());
    ui::set_checked(a, false); // the checked button of a group can be unchecked from code
    EXPECT_FALSE(a->isChecked());
    EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(clicks, 1);
}

// Radio buttons are exclusive within their parent only: a panel of buttons inside a group
// box is a group of its own, and its checked button stays checked.
TEST(UiControls, RadioGroupsArePerParent) {
    QWidget box;
    auto* panel = new QWidget(&box);
    auto* red = new QRadioButton(panel);
    auto* grey = new QRadioButton(panel);
    auto* small = new QRadioButton(&box);
    auto* large = new QRadioButton(&box);
    for (QRadioButton* b : {red, grey, small, large}) ui::join_parent_group(b);
    ui::set_checked(grey, true);
    ui::set_checked(small, true);
    ui::set_checked(large, true);
    EXPECT_TRUE(grey->isChecked());
    EXPECT_FALSE(small->isChecked());
    ui::set_checked(red, true);
    EXPECT_FALSE(grey->isChecked());
    EXPECT_TRUE(large->isChecked());
    ui::set_checked(large, false); // unchecked from code within its group too
    EXPECT_FALSE(large->isChecked());
    EXPECT_TRUE(red->isChecked());
}

// Filling and setting the driver list from code runs no handler; the operator's pick and
// typing do.
TEST(UiControls, ComboBoxRunsHandlersOnlyForTheOperator) {
    QComboBox box;
    box.setEditable(true);
    QStringList ran;
    ui::on_pick(
        &box, &box, [&] { ran << "change"; }, [&] { ran << "click"; });
    box.addItems({"Camera A", "Camera B"});
    box.setCurrentIndex(0);
    box.setEditText("Camera B");
    box.clear();
    box.addItems({"Camera A", "Camera B"});
    EXPECT_TRUE(ran.isEmpty()) << ran.join(",").toStdString();
    box.show();
    box.showPopup(); // the operator picks the second item from the list
    QTest::keyClick(box.view(), Qt::Key_Down);
    QTest::keyClick(box.view(), Qt::Key_Return);
    EXPECT_EQ(box.currentText(), "Camera B");
    EXPECT_EQ(ran, QStringList{"click"});
    QTest::keyClicks(box.lineEdit(), "x");
    EXPECT_EQ(ran, (QStringList{"click", "change"}));
}

// A handler that raises while Qt emits a signal: the exception ends the code that set the
// value (through a setter, as a direct call would), or shows in the error box when the
// operator changed the value; it never unwinds through Qt.
TEST(UiHandlers, ExceptionsEndTheSetterOrShowInTheErrorBox) {
    ScriptedDialogs box;
    QWidget parent;
    auto* outer = new QSlider(&parent);
    auto* inner = new QSlider(&parent);
    outer->setRange(0, 100);
    inner->setRange(0, 100);
    QStringList ran;
    ui::on_change(inner, &parent, [&] {
        ran << "inner";
        if (inner->value() == 13) throw std::runtime_error("Unlucky position");
    });
    ui::on_change(outer, &parent, [&] {
        ran << "outer";
        ui::set_position(inner, outer->value()); // a handler chaining through a setter
        ran << "outer done";
    });

    // from code: the value is set, then its caller ends with the handler's error
    try {
        ui::set_position(inner, 13);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unlucky position");
    }
    EXPECT_EQ(inner->value(), 13);

    // a chain: the inner handler's error ends the outer handler and the outer setter
    inner->setValue(0);
    ran.clear();
    EXPECT_THROW(ui::set_position(outer, 13), std::runtime_error);
    EXPECT_EQ(ran, (QStringList{"outer", "inner"}));
    EXPECT_TRUE(box.errors.isEmpty());

    // by the operator: the error box shows it and nothing escapes
    ran.clear();
    inner->setValue(12);
    box.errors.clear();
    inner->triggerAction(QAbstractSlider::SliderSingleStepAdd); // 12 -> 13, as a key press would
    EXPECT_EQ(box.errors, QStringList{"Unlucky position"});

    // a wait inside a setter runs the operator's events: their errors go to the box, not
    // to the setter
    box.errors.clear();
    auto* waiting = new QSlider(&parent);
    ui::on_change(waiting, &parent, [&] {
        QTimer::singleShot(0, [&] { inner->triggerAction(QAbstractSlider::SliderSingleStepSub); });
        inner->setValue(14);
        ui::wait_until([&] { return inner->value() == 13; }, 1000);
    });
    EXPECT_NO_THROW(ui::set_position(waiting, 5));
    EXPECT_EQ(box.errors, QStringList{"Unlucky position"});

    // the same for a modal box shown inside a setter, and for a pass of the event queue
    box.errors.clear();
    ui::QtDialogs qt_boxes;
    ui::Timer failing(1, [] { throw std::runtime_error("Lamp failed"); });
    auto* modal = new QSlider(&parent);
    ui::on_change(modal, &parent, [&] {
        failing.setEnabled(true);
        QTimer::singleShot(50, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        qt_boxes.message("Please wait");
        failing.setEnabled(true);
        ui::pause(5);
        ui::process_messages();
        failing.setEnabled(false);
    });
    EXPECT_NO_THROW(ui::set_position(modal, 5));
    ASSERT_GE(box.errors.size(), 2);
    EXPECT_EQ(box.errors[0], "Lamp failed");
}

TEST(UiHandlers, TimerErrorIsShownAndTheProgramGoesOn) {
    ScriptedDialogs box;
    int after = 0;
    ui::Timer failing(1, [] { throw std::runtime_error("Disk not ready"); });
    failing.setEnabled(true);
    ui::Timer counting(5, [&] { ++after; });
    counting.setEnabled(true);
    ui::wait_until([&] { return after >= 3; }, 2000);
    failing.setEnabled(false);
    ASSERT_FALSE(box.errors.isEmpty());
    EXPECT_EQ(box.errors[0], "Disk not ready");
    EXPECT_GE(after, 3);
}

// Qt's file dialog shows the dialog object's filter and default extension and keeps the
// chosen file for the next use.
TEST(UiDialogs, FileDialogKeepsItsSettingsAndChoice) {
    EXPECT_EQ(ui::qt_name_filters("Windows Bitmap|*.bmp|All Files|*.*"),
              "Windows Bitmap (*.bmp);;All Files (*)");
    QTemporaryDir dir;
    ui::QtDialogs dialogs;
    ui::FileDialog save(ui::FileDialog::Kind::save);
    save.filter = "Windows Bitmap|*.bmp|All Files|*.*";
    save.default_extension = "BMP";
    save.file_name = dir.path() + "/old.bmp";
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        seen << box->nameFilters() << box->defaultSuffix() << box->directory().absolutePath();
        box->selectFile("quartz");
        QMetaObject::invokeMethod(box, "accept");
    });
    ASSERT_TRUE(dialogs.execute(save));
    EXPECT_EQ(seen, (QStringList{"Windows Bitmap (*.bmp)", "All Files (*)", "BMP",
                                 QDir(dir.path()).absolutePath()}));
    EXPECT_EQ(save.file_name, dir.path() + "/quartz.BMP");
    EXPECT_EQ(save.filter, "Windows Bitmap|*.bmp|All Files|*.*");

    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            box->reject();
    });
    EXPECT_FALSE(dialogs.execute(save)); // cancelled: the dialog keeps the last choice
    EXPECT_EQ(save.file_name, dir.path() + "/quartz.BMP");
}

TEST_F(WindowTest, TerminationSignalClosesInOrder) {
    auto form = make_window();
    ui::close_on_termination(form.get());
    std::raise(SIGTERM);
    ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 3000));
    EXPECT_TRUE(read_settings().startsWith("None\r\n1\r\n"));
    std::signal(SIGTERM, SIG_DFL);
}

TEST(UiTermination, ASecondWindowTakesOverWithoutNewDescriptors) {
    QWidget first, second;
    ui::close_on_termination(&first);
    const auto open_files = [] {
        return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size();
    };
    const qsizetype before = open_files();
    ui::close_on_termination(&second);
    EXPECT_EQ(open_files(), before);
    first.show();
    second.show();
    std::raise(SIGINT);
    ASSERT_TRUE(ui::wait_until([&] { return !second.isVisible(); }, 3000));
    EXPECT_TRUE(first.isVisible());
    std::signal(SIGINT, SIG_DFL);
}
