#pragma once
// The XDG autostart entry that starts `orbelune idle` at login.
#include <filesystem>

#include "base/result.h"

namespace orbelune {

// $XDG_CONFIG_HOME/autostart/orbelune-idle.desktop (~/.config when unset);
// empty when there is no home folder.
std::filesystem::path idleAutostartFile();
// Writes the entry, starting `program idle` at login (atomically). Refuses a
// program path no entry can hold (see desktopExecArgument).
Result<void> writeIdleAutostart(const std::filesystem::path& program);
// Removes the entry; no entry is no error.
Result<void> removeIdleAutostart();

}  // namespace orbelune
