// Ending every running copy of the program. A copy is a process whose program file has the
// given name, as its file-name part or its whole path, or is the backup of the program
// file of that name in the program folder: the update has just renamed the program file
// to it, and the system reports the new name for every process started from that file,
// this one included.
#include "update_form.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <optional>

namespace {

// The path the system reports for a program file, without the mark of one deleted since.
QString program_file(QString path) {
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted)) path.chop(deleted.size());
    return path;
}

} // namespace

// The others first, each asked to end in its orderly way; this process last.
bool TFormupdate::endprocessesbyname(const QString& name) {
    if (!env_.running_processes || !env_.end_process) return false;
    const QString backup = backup_path(name);
    auto is_copy = [&](const RunningProcess& p) {
        const QString file = program_file(p.executable);
        return QFileInfo(file).fileName() == name || file == name || file == backup;
    };
    const int self = static_cast<int>(QCoreApplication::applicationPid());
    bool result = false;
    std::optional<RunningProcess> self_too;
    for (const RunningProcess& p : env_.running_processes()) {
        if (!is_copy(p)) continue;
        if (p.pid == self)
            self_too = p;
        else
            result = env_.end_process(p);
    }
    if (self_too) result = env_.end_process(*self_too);
    return result;
}
