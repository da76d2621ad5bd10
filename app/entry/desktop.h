// The desktop's services as the program uses them on this system.
#pragma once

#include "VexolanUpdate/update_environment.h"

namespace desktop {

// An executable file is started in `working_folder` (its own folder when empty), any
// other file is handed to the desktop's opener (xdg-open).
bool open_file(const QString& path, const QString& working_folder);
// The processes of this user whose program file can be read from /proc.
std::vector<RunningProcess> running_processes();
// Sends SIGTERM to the process while it still runs the program file it was listed with.
bool end_process(const RunningProcess& process);

} // namespace desktop
