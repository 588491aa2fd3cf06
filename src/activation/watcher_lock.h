#pragma once
// The lock of the one watcher a session runs: a file in the user's private
// folder, named after the display server, held with flock for the watcher's
// life and holding its process id.
#include <sys/types.h>

#include <filesystem>
#include <optional>

#include "base/result.h"
#include "base/unique_fd.h"

namespace orbelune {

// The lock file of this session's watcher (the display the environment names),
// or why there is none.
Result<std::filesystem::path> idleWatcherLockFile();

// Taking the lock: `held` is the open lock when this process now holds it (keep
// it open for the process's life); otherwise another watcher holds it, `holder`
// its process id when the file names one.
struct WatcherLock {
  UniqueFd held;
  std::optional<pid_t> holder;
};
// Fails (with the reason) when there is no private folder or the lock file is
// not this user's regular file; a watcher then does not run.
Result<WatcherLock> takeIdleWatcherLock();

// The watcher holding this session's lock: its process id as the file names it,
// and the file's identity, which that process has open.
struct LockHolder {
  pid_t pid = 0;
  dev_t device = 0;
  ino_t inode = 0;
};
std::optional<LockHolder> idleWatcherLockHolder();
// The process id of the watcher holding this session's lock, if one does.
std::optional<pid_t> runningIdleWatcher();

}  // namespace orbelune
