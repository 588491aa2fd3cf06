#include "activation/watcher_stop.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "activation/watcher_lock.h"
#include "base/unique_fd.h"

namespace orbelune {
namespace {

// Called through syscall(): Debian 12's <sys/pidfd.h> declares them without C linkage.
int openPidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }
int signalPidfd(int pidfd, int signal) { return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0)); }

// Reads a file of /proc/PID relative to that process's folder.
std::optional<std::string> procFile(int procDir, const char* name) {
  UniqueFd fd(openat(procDir, name, O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(fd.get(), buf, sizeof buf)) > 0;) {
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > 65536) break;
  }
  return text;
}

bool ownedByThisUser(int procDir) {
  auto status = procFile(procDir, "status");
  if (!status) return false;
  std::istringstream lines(*status);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Uid:", 0) != 0) continue;
    std::istringstream ids(line.substr(4));
    int count = 0;
    for (long id; ids >> id; ++count) {
      if (id != static_cast<long>(getuid())) return false;
    }
    return count == 4;
  }
  return false;
}

bool isIdleWatcherCommand(int procDir) {
  auto cmdline = procFile(procDir, "cmdline");
  if (!cmdline) return false;
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t end; (end = cmdline->find('\0', start)) != std::string::npos; start = end + 1) {
    args.push_back(cmdline->substr(start, end - start));
  }
  if (args.size() < 2 || args[1] != "idle") return false;
  const auto slash = args[0].rfind('/');
  return args[0].substr(slash == std::string::npos ? 0 : slash + 1) == "orbelune";
}

bool holdsFile(int procDir, dev_t device, ino_t inode) {
  UniqueFd fds(openat(procDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fds.valid()) return false;
  DIR* dir = fdopendir(fds.get());
  if (!dir) return false;
  fds.release();  // the DIR owns it now
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    struct stat st {};
    // Each entry links to the open file; fstatat follows it to that file.
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && st.st_dev == device && st.st_ino == inode) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

Result<void> stopIdleWatcher(std::chrono::milliseconds wait) {
  auto holder = idleWatcherLockHolder();
  if (!holder) return {};
  const std::string named = "process " + std::to_string(holder->pid) + " (named in the watcher's lock)";
  // The pidfd pins the process: should it end and its id be reused during the
  // checks, the signal below goes to no one rather than to the newcomer.
  UniqueFd pidfd(openPidfd(holder->pid));
  if (!pidfd.valid()) {
    if (errno == ESRCH) return {};
    return Error{"cannot examine " + named + ": " + std::strerror(errno)};
  }
  const std::string procPath = "/proc/" + std::to_string(holder->pid);
  UniqueFd procDir(open(procPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!procDir.valid()) return Error{"cannot examine " + named + ": " + std::strerror(errno)};
  if (!ownedByThisUser(procDir.get())) return Error{named + " is not this user's; it was not signalled"};
  if (!isIdleWatcherCommand(procDir.get())) return Error{named + " is not orbelune idle; it was not signalled"};
  if (!holdsFile(procDir.get(), holder->device, holder->inode)) {
    return Error{named + " does not hold the lock; it was not signalled"};
  }
  if (signalPidfd(pidfd.get(), SIGTERM) != 0) {
    if (errno == ESRCH) return {};
    return Error{"cannot stop " + named + ": " + std::strerror(errno)};
  }
  // The pidfd becomes readable when the process has ended.
  pollfd p{pidfd.get(), POLLIN, 0};
  poll(&p, 1, static_cast<int>(wait.count()));
  return {};
}

}  // namespace orbelune
