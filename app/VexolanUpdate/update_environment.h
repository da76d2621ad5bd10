// What the update window is built with: everything the update check touches outside the
// program. main() wires the real ones; tests wire an FTP server of their own, scripted
// dialogs, a temporary program folder and their own process table.
#pragma once

#include "network/ftp_client.h"
#include "ui/dialogs.h"

#include <QString>

#include <functional>
#include <vector>

struct RunningProcess {
    int pid = 0;
    QString executable; // the full path of its program file
};

struct UpdateEnvironment {
    // The folder of the program file, ending with "/": the version file, the "update"
    // folder of the installer, the program file and its backup.
    QString program_folder;
    network::Factory ftp_factory;
    network::ServerSettings update_server; // no host: no update check
    // The Ed25519 public key of the installers (base64 of its DER form); empty: installers
    // are not signed.
    QByteArray installer_key;
    // The whole check, from its first connection to the end of the version file, ends
    // after this long, however the server trickles.
    int check_deadline_ms = 31000;
    ui::Dialogs* dialogs = nullptr;
    // Opens a file as the desktop does: a program is started, a document opened with its
    // application. `working_folder` may be empty. False when that failed.
    std::function<bool(const QString& path, const QString& working_folder)> open_file;
    // The running processes of this user, and the orderly end of one of them (SIGTERM).
    // A process is signalled only while it still runs the program file it was listed
    // with; false when it could not be signalled.
    std::function<std::vector<RunningProcess>()> running_processes;
    std::function<bool(const RunningProcess& process)> end_process;
};
