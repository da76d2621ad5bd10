// The real window on the offscreen platform with the simulated controller, a fake
// capture component (or one the test gives), a temporary program folder and scripted
// dialogs.
#pragma once

#include "VexolanUpdate/update_form.h"
#include "fake_camera.h"
#include "qt_printers.h"
#include "stepper/simulated_stepper.h"
#include "ui/handlers.h"
#include "ui/wait.h"
#include "window/form.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>

// Records every box the window shows and answers from a script. It is also the
// application's error box while it lives.
class ScriptedDialogs : public ui::Dialogs {
  public:
    ScriptedDialogs() { ui::set_error_box(this); }
    ~ScriptedDialogs() override { ui::set_error_box(nullptr); }

    QStringList messages, errors, questions;
    std::deque<bool> answers; // for questions; No when empty
    // For file dialogs: the file chosen, or an empty text to cancel; cancel when empty.
    std::deque<QString> files;
    struct Shown {
        ui::FileDialog::Kind kind;
        QString filter, default_extension;
    };
    std::vector<Shown> file_dialogs;
    // Runs while a box is shown, as the operator's events would run inside it.
    std::function<void()> while_shown;

    void message(const QString& text) override {
        messages << text;
        shown();
    }
    void error(const QString& text) override {
        errors << text;
        shown();
    }
    bool question(const QString& title, const QString& text) override {
        questions << title + ": " + text;
        shown();
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    bool execute(ui::FileDialog& dialog) override {
        file_dialogs.push_back({dialog.kind, dialog.filter, dialog.default_extension});
        shown();
        if (files.empty()) return false;
        const QString chosen = files.front();
        files.pop_front();
        if (chosen.isEmpty()) return false;
        dialog.file_name = chosen;
        return true;
    }

  private:
    void shown() {
        if (while_shown) while_shown();
    }
};

class WindowTest : public ::testing::Test {
  protected:
    // A window over the program folder, built as main() builds it: the main window, then
    // the update window. `config` sets up its simulated controller, unless the test gives
    // another controller.
    std::unique_ptr<TForm1> make_window(stepper::SimulatedConfig config = {}) {
        Environment env;
        env.program_folder = folder.path() + "/";
        env.stepper_factory = stepper_factory
                                  ? stepper_factory
                                  : [this, config]() -> std::unique_ptr<stepper::Controller> {
            auto c = std::make_unique<stepper::SimulatedController>(config);
            sim = c.get();
            return c;
        };
        env.camera_factory =
            camera_factory ? camera_factory : [this]() -> std::unique_ptr<capture::Camera> {
            auto c = std::make_unique<FakeCamera>(camera_devices);
            camera = c.get();
            return c;
        };
        env.dialogs = &dialogs;
        env.end_program = [this] { ++ended; };
        if (now) env.now = now;
        env.first_start = first_start;
        env.open_file = open_file;
        env.diagnostic = [this](const QString& line) { diagnostics << line; };
        auto form = std::make_unique<TForm1>(env, nullptr);
        UpdateEnvironment update_env; // no update server: the check asks nothing
        update_env.program_folder = env.program_folder;
        update_env.dialogs = &dialogs;
        update = std::make_unique<TFormupdate>(update_env);
        form->Formupdate = update.get();
        return form;
    }

    // Activation and the timed start-up steps, run at once instead of after 1 and 3 s,
    // once the controller has attached.
    void start_up(TForm1& form) {
        if (sim) sim->attach_now();
        EXPECT_TRUE(ui::wait_until([&] { return form.motor.present; }, 5000));
        form.FormActivate();
        form.Timer1Timer();
        form.Timer2Timer();
    }

    // The program folder's file of that name.
    QString file(const QString& name) const { return folder.path() + "/" + name; }
    QString settings_path() const { return file("vexolan.ini"); }
    void write_settings(const QByteArray& text);
    QByteArray read_settings() const;
    // The bitmap file's image; a null image when it cannot be read.
    static QImage read(const QString& path);

    // The operator picks the listed camera of that name.
    static void pick(TForm1& form, const QString& name);
    // Motor 1 set for the stage: 200 steps a turn, at its fastest.
    static void stage_at_full_speed(TForm1& form);
    // Presses `button` of a sequence and waits up to `timeout_ms` until no sequence runs;
    // false when one still runs.
    static bool run_sequence(TForm1& form, QAbstractButton* button, int timeout_ms);

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFormupdate> update;
    stepper::SimulatedController* sim = nullptr;
    QStringList camera_devices;
    FakeCamera* camera = nullptr;
    capture::Factory camera_factory;  // another capture component than the fake one
    stepper::Factory stepper_factory; // another controller than the simulated one
    int ended = 0;
    QStringList diagnostics;        // the lines the window wrote for whoever runs the program
    std::function<QDateTime()> now; // the window's clock when set
    std::optional<FirstStart> first_start; // the window's first-start settings when set
    // how the window opens files and starts programs when set
    std::function<bool(const QString& path, const QString& working_folder)> open_file;

  private:
    // the window makes the measurement folder the current directory; it is given back
    struct CurrentFolder {
        QString path = QDir::currentPath();
        ~CurrentFolder() { QDir::setCurrent(path); }
    } current_folder_;
};
