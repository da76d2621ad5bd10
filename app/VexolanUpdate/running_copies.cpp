// Ending every running copy of this installation of the program. A copy is a process whose
// program file is the program file of that name in this program folder, or its backup
// there: the update has just renamed the program file to it, and the system reports the
// new name for every process started from that file, this one included. A copy installed
// in another folder (another installation, with its own measurement) is left alone.
#include "update_form.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

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
    // the system reports program files by their real paths: the folder's, with its links
    // followed, counts too
    QStringList copies{env_.program_folder + name, backup_path(name)};
    const QString real_folder = QDir(env_.program_folder).canonicalPath();
    if (!real_folder.isEmpty())
        copies << real_folder + QLatin1Char('/') + name
               << real_folder + QLatin1Char('/') + name + QStringLiteral(".old");
    auto is_copy = [&](const RunningProcess& p) {
        return copies.contains(program_file(p.executable));
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
