#pragma once
// Ending this session's watcher from another program (the settings app), with
// no way for a process id in a file to make it signal anything else.
#include <chrono>

#include "base/result.h"

namespace orbelune {

// Sends SIGTERM to the watcher holding this session's lock and waits up to
// `wait` for it to end. The process the lock names is signalled only when,
// checked through a pidfd taken before the checks (so that a process id
// reused meanwhile gets no signal):
// - all its user ids (real, effective, saved, file system) are this user's,
// - its command line is `orbelune idle …` (the program's file name "orbelune",
//   its first argument "idle"),
// - it has the lock file itself open (the same device and inode).
// No watcher is no error; a process that fails a check is left alone and the
// error says which check.
Result<void> stopIdleWatcher(std::chrono::milliseconds wait = std::chrono::milliseconds(1000));

}  // namespace orbelune
