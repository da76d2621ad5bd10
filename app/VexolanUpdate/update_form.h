// TFormupdate, the update window: hidden at start-up, shown only while a new version is
// downloaded, with the download's progress. It holds the update check: the version file
// on the update server against this program's version, and on the operator's consent the
// download and start of the installer and the end of every running copy of the program.
#pragma once

#include "logic/version_file.h"
#include "ui/controls.h"
#include "ui/timer.h"
#include "update_environment.h"

#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class TFormupdate : public QWidget {
  public:
    // Built with what the update touches outside: the program folder, the update server
    // and the FTP client factory, the dialogs, the desktop's open action, the process
    // table and the program's orderly end.
    explicit TFormupdate(UpdateEnvironment env);

    // Asks the update server for a newer version. True only when the installer has been
    // started and the program is ending; false in every other case, every failure
    // included, and at once when no update server is configured.
    bool Checkforupdates1Click();
    // The program is closing: a transfer in progress ends, and with it the check (false).
    void cancel();
    // After each block of a download: the bar and the percentage.
    void NMFTP1PacketRecvd();
    // The watchdog: a download that has received nothing yet is aborted.
    void Timer1Timer();
    // Ends every running copy of the program file `name` of this program folder (and of
    // its backup), this one last; the result of the last request, false when none matched.
    bool endprocessesbyname(const QString& name);

    // The program's version, shown in the main window's caption.
    long double program_version;
    QString installer_path;
    bool update_started = false;

    ui::Label *Label1, *Label2;
    QProgressBar* ProgressBar1;
    std::unique_ptr<network::FtpClient> NMFTP1; // none without a factory
    ui::Timer* Timer1;
    // Ends the check that has not read its version file in time.
    QTimer* check_deadline;

  private:
    using VersionFile = version_file::VersionFile;
    VersionFile read_version_file() const;
    void download(const QString& remote_name, const QString& local_path, int64_t size_limit);
    void install(const VersionFile& version);
    void fetch_installer(const VersionFile& version);
    void check_installer(const VersionFile& version, const QString& part);
    void back_up_program_file();
    // Where the program file `name` of the program folder is kept while a new version
    // installs: "vexolan" becomes "vexolan.old".
    QString backup_path(const QString& name) const {
        return env_.program_folder + name + QStringLiteral(".old");
    }
    void start_installer();

    UpdateEnvironment env_;
};
