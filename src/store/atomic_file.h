#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "base/result.h"

namespace orbelune::atomic_file {

// The system calls the module makes, one seam for tests: each can be made to
// fail at any step. The defaults are the real calls.
struct Syscalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*close)(int fd);
  int (*flock)(int fd, int operation);
};
const Syscalls& realSyscalls();
// Tests only: the calls to use from now on (nullptr: the real ones again).
void setSyscallsForTesting(const Syscalls* calls);

// Settings files are small; anything larger is not one of ours.
inline constexpr std::size_t kDefaultReadLimit = 4u << 20;

// Reads a regular file whole: its text, or nullopt when there is no file. A
// FIFO, a device or a folder in its place, a file over `limit` bytes or one
// that cannot be read is an error (starting with the file's name), never a hang.
Result<std::optional<std::string>> read(const std::filesystem::path& path, std::size_t limit = kDefaultReadLimit);

// The file a write to `path` replaces: a symbolic link's final target, so that a
// linked file (a dotfile manager's, say) is updated where it lives.
std::filesystem::path resolvedTarget(const std::filesystem::path& path);

struct WriteOptions {
  // Where the old contents are kept (replaced atomically, never written
  // through a link); empty for none.
  std::filesystem::path backup;
  // The mode of a new file, before the umask; an existing file keeps its own.
  mode_t newFileMode = 0666;
};
// Replaces the file atomically: a temporary file beside it, written, flushed,
// renamed over it, then the folder flushed. Any failure leaves the old file as
// it was and no temporary behind, and says why (file and reason).
Result<void> write(const std::filesystem::path& path, const std::string& text, const WriteOptions& options = {});

// How long a writer waits for another program's lock before giving up: a
// writer holds it for milliseconds, so one held longer belongs to a program
// that is stopped or hung, and waiting on would hang the caller with it.
inline constexpr std::chrono::milliseconds kDefaultLockWait{5000};

// Holds an exclusive lock on the folder of `path` for a read-modify-write, so
// that writers in other processes take turns. Another holder is waited on for
// at most `wait`; after that the lock is busy(). A folder that may be written
// but not read is locked through a lock file beside the target. Neither held
// nor busy when the lock cannot be had at all (the folder is missing, say):
// callers then go on unlocked.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& path, std::chrono::milliseconds wait = kDefaultLockWait);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }
  // Another program held the lock for the whole wait.
  bool busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace orbelune::atomic_file
