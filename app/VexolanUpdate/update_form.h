// TFormupdate, the update window: hidden at start-up, shown only while a new version is
// downloaded, with the download's progress.
#pragma once

#include "main/environment.h"
#include "ui/controls.h"
#include "ui/timer.h"

#include <QProgressBar>
#include <QWidget>

class TFormupdate : public QWidget {
public:
    // Built with what the update touches outside: the program folder, the update server
    // and the FTP client factory, the dialogs, the desktop's open action, the process
    // table and the program's orderly end.
    explicit TFormupdate(Environment env);

    // Asks the update server for a newer version. True only when the installer has been
    // started and the program is ending; false in every other case, every failure
    // included.
    bool Checkforupdates1Click();
    void Timer1Timer() { Timer1->setEnabled(false); }

    // The program's version, shown in the main window's caption.
    long double program_version;
    QString installer_path;
    bool update_started = false;

    ui::Label *Label1, *Label2;
    QProgressBar* ProgressBar1;
    ui::Timer* Timer1;

private:
    Environment env_;
};
