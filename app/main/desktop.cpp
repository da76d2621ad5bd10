#include "desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <csignal>

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

std::vector<RunningProcess> running_processes() {
    std::vector<RunningProcess> out;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number) continue;
        // the link is unreadable for other users' processes; they cannot be ours
        const QString exe =
            QFileInfo(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")).symLinkTarget();
        if (!exe.isEmpty()) out.push_back({pid, exe});
    }
    return out;
}

bool end_process(int pid) {
    return pid > 0 && ::kill(pid, SIGTERM) == 0;
}

}  // namespace desktop
