#include "desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace desktop {

bool open_file(const QString& path, const QString& working_folder) {
    const QFileInfo file(path);
    if (!file.isFile()) return false;
    if (file.isExecutable())
        return QProcess::startDetached(file.absoluteFilePath(), {},
                                       working_folder.isEmpty() ? file.absolutePath()
                                                                : working_folder);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

namespace {

QString program_file_of(int pid) {
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

} // namespace

// Processes of other users are never this user's copies of the program, also when the
// program runs with the rights to see them.
std::vector<RunningProcess> running_processes() {
    std::vector<RunningProcess> out;
    const uint user = ::getuid();
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number || QFileInfo(QStringLiteral("/proc/") + entry).ownerId() != user) continue;
        const QString exe = program_file_of(pid);
        if (!exe.isEmpty()) out.push_back({pid, exe});
    }
    return out;
}

// The process is held by a descriptor first, so a number that a new process took over
// after the listing is never signalled: the descriptor's process must still run the
// listed program file.
bool end_process(const RunningProcess& process) {
    if (process.pid <= 0) return false;
    const long held = ::syscall(SYS_pidfd_open, process.pid, 0);
    if (held < 0 && errno != ENOSYS) return false; // gone already
    const bool same = program_file_of(process.pid) == process.executable;
    bool sent = false;
    if (held < 0)
        sent = same && ::kill(process.pid, SIGTERM) == 0; // a kernel without it
    else
        sent = same && ::syscall(SYS_pidfd_send_signal, int(held), SIGTERM, nullptr, 0) == 0;
    if (held >= 0) ::close(int(held));
    return sent;
}

} // namespace desktop
