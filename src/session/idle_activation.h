#pragma once
// Where `orbelune idle` is known to the session: the XDG autostart entry that
// starts it at login, and the lock of the one watcher a session runs.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "base/result.h"

namespace orbelune {

// The store key under which the settings app keeps the watcher's minutes.
inline constexpr const char* kStartAfterMinutesKey = "StartAfterMinutes";

// $XDG_CONFIG_HOME/autostart/orbelune-idle.desktop (~/.config when unset);
// empty when there is no home folder.
std::filesystem::path idleAutostartFile();
// Writes the entry, starting `program idle` at login (atomically).
Result<void> writeIdleAutostart(const std::filesystem::path& program);
// Removes the entry; no entry is no error.
Result<void> removeIdleAutostart();

// The lock file of this session's watcher, named after the display the
// environment names (WAYLAND_DISPLAY, else DISPLAY), in the user's runtime folder.
std::filesystem::path idleWatcherLockFile();
// The process id of the watcher holding this session's lock, if one does.
std::optional<pid_t> runningIdleWatcher();

}  // namespace orbelune
