// The real window on the offscreen platform with the simulated controller, a temporary
// program folder and scripted dialogs.
#pragma once

#include "VexolanUpdate/update_form.h"
#include "form.h"
#include "stepper/simulated_stepper.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <memory>

// Records every box the window shows and answers from a script.
class ScriptedDialogs : public ui::Dialogs {
public:
    QStringList messages, errors, questions;
    std::deque<bool> answers;
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    bool question(const QString& text) override {
        questions << text;
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QString open_file(const QString&, const QString&) override { return {}; }
    QString save_file(const QString&, const QString&) override { return {}; }
};

class WindowTest : public ::testing::Test {
protected:
    // A window over the program folder; `config` sets up its simulated controller.
    std::unique_ptr<TForm1> make_window(stepper::SimulatedConfig config = {}) {
        Environment env;
        env.program_folder = folder.path() + "/";
        env.stepper_factory = [this, config] {
            auto c = std::make_unique<stepper::SimulatedController>(config);
            sim = c.get();
            return c;
        };
        env.dialogs = &dialogs;
        env.end_program = [this] { ++ended; };
        auto form = std::make_unique<TForm1>(env, &update);
        return form;
    }

    // Activation and the timed start-up steps, run at once instead of after 1 and 3 s.
    void start_up(TForm1& form) {
        sim->attach_now();
        form.FormActivate();
        form.Timer1Timer();
        form.Timer2Timer();
    }

    QString settings_path() const { return folder.path() + "/vexolan.ini"; }
    void write_settings(const QByteArray& text);
    QByteArray read_settings() const;

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    TFormupdate update;
    stepper::SimulatedController* sim = nullptr;
    int ended = 0;
};
