#include "activation/watcher_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "activation/display_identity.h"
#include "activation/private_folder.h"
#include "base/number_text.h"

namespace orbelune {
namespace fs = std::filesystem;
namespace {

std::string lockFileName() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string identity = displayIdentity(wayland ? wayland : "", x11 ? x11 : "", runtime ? runtime : "");
  return "orbelune-idle-" + identityFileName(identity) + ".lock";
}

// The lock file opened in `folder`; only this user's regular file is taken.
Result<UniqueFd> openLock(const PrivateFolder& folder, const std::string& name, int flags) {
  const fs::path path = folder.path / name;
  // O_NONBLOCK: a FIFO in its place must not hang the open.
  UniqueFd fd(openat(folder.fd.get(), name.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!fd.valid()) return Error{"cannot open " + path.string() + ": " + std::strerror(errno)};
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    return Error{path.string() + " is not a file of this user's"};
  }
  return fd;
}

std::optional<pid_t> pidIn(int fd) {
  char buf[32] = {};
  const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
  if (n <= 0) return std::nullopt;
  std::string text(buf, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  auto pid = parseInteger(text);
  if (!pid || *pid <= 1 || *pid > 0x3fffffff) return std::nullopt;
  return static_cast<pid_t>(*pid);
}

}  // namespace

Result<fs::path> idleWatcherLockFile() {
  auto folder = watcherFolder(false);
  if (!folder) return folder.error();
  return folder->path / lockFileName();
}

Result<WatcherLock> takeIdleWatcherLock() {
  auto folder = watcherFolder(true);
  if (!folder) return folder.error();
  auto fd = openLock(*folder, lockFileName(), O_RDWR | O_CREAT);
  if (!fd) return fd.error();
  if (flock(fd->get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return Error{"cannot lock " + (folder->path / lockFileName()).string() + ": " + std::strerror(errno)};
    return WatcherLock{UniqueFd(), pidIn(fd->get())};
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd->get(), 0) == 0) {
    [[maybe_unused]] auto w = pwrite(fd->get(), pid.data(), pid.size(), 0);
  }
  return WatcherLock{std::move(*fd), std::nullopt};
}

std::optional<LockHolder> idleWatcherLockHolder() {
  auto folder = watcherFolder(false);
  if (!folder) return std::nullopt;
  auto fd = openLock(*folder, lockFileName(), O_RDONLY);
  if (!fd) return std::nullopt;
  // A lock that can be had is held by no one.
  if (flock(fd->get(), LOCK_SH | LOCK_NB) == 0) return std::nullopt;
  auto pid = pidIn(fd->get());
  struct stat st {};
  if (!pid || fstat(fd->get(), &st) != 0) return std::nullopt;
  return LockHolder{*pid, st.st_dev, st.st_ino};
}

std::optional<pid_t> runningIdleWatcher() {
  auto holder = idleWatcherLockHolder();
  if (!holder) return std::nullopt;
  return holder->pid;
}

}  // namespace orbelune
