#include "store/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace orbelune::atomic_file {
namespace fs = std::filesystem;

namespace {
int realOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

const Syscalls kReal{realOpen, ::write, ::fsync, ::rename, ::close, ::flock};
const Syscalls* g_calls = &kReal;

std::string reason(const std::string& what, int err) { return what + ": " + std::strerror(err); }

std::string temporaryName(const fs::path& target) {
  static std::mt19937_64 random{std::random_device{}()};
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, "%012llx", static_cast<unsigned long long>(random() & 0xffffffffffffull));
  return (target.parent_path() / ("." + target.filename().string() + ".tmp-" + suffix)).string();
}

// Writes `text` into a new file beside `target` and renames it over `target`.
Result<void> replace(const fs::path& target, const std::string& text, mode_t mode) {
  const Syscalls& sys = *g_calls;
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    tmp = temporaryName(target);
    fd = sys.open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Error{reason("cannot create a temporary file beside " + target.string(), errno)};
  auto abandon = [&](const std::string& what) -> Result<void> {
    const int err = errno;
    if (fd >= 0) sys.close(fd);
    ::unlink(tmp.c_str());
    return Error{reason(what, err)};
  };
  // The mode given to open() passed through the umask; an existing file's own
  // mode is put back exactly.
  if (mode != 0 && ::fchmod(fd, mode) != 0 && errno != EPERM) return abandon("cannot set the mode of " + tmp);
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = sys.write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return abandon("cannot write " + target.string());
    }
    done += static_cast<std::size_t>(n);
  }
  if (sys.fsync(fd) != 0) return abandon("cannot flush " + target.string());
  const int closing = fd;
  fd = -1;
  if (sys.close(closing) != 0) return abandon("cannot write " + target.string());
  if (sys.rename(tmp.c_str(), target.c_str()) != 0) return abandon("cannot replace " + target.string());
  const int dir = sys.open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (dir >= 0) {
    // The new name is in place; a folder that cannot be flushed loses nothing
    // that is on disk already, so this is not a failure.
    sys.fsync(dir);
    sys.close(dir);
  }
  return {};
}

// Temporary files of `target` that a writer killed mid-write left behind. A
// live writer finishes in well under a minute, so older ones are stale.
void removeStaleTemporaries(const fs::path& target) {
  const std::string prefix = "." + target.filename().string() + ".tmp-";
  std::error_code ec;
  const auto cutoff = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  for (const auto& entry : fs::directory_iterator(target.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() != prefix.size() + 12) continue;
    std::error_code statError;
    if (entry.is_regular_file(statError) && entry.last_write_time(statError) < cutoff && !statError) {
      fs::remove(entry.path(), statError);
    }
  }
}

mode_t newFileMode(mode_t requested) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return requested & ~mask & 07777;
}
}  // namespace

const Syscalls& realSyscalls() { return kReal; }
void setSyscallsForTesting(const Syscalls* calls) { g_calls = calls ? calls : &kReal; }

Result<std::optional<std::string>> read(const fs::path& path, std::size_t limit) {
  const Syscalls& sys = *g_calls;
  const int fd = sys.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
  if (fd < 0) {
    if (errno == ENOENT) return std::optional<std::string>();
    return Error{reason("cannot read " + path.string(), errno)};
  }
  auto failed = [&](const std::string& why) -> Result<std::optional<std::string>> {
    sys.close(fd);
    return Error{path.string() + ": " + why};
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return failed(std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return failed("is a directory");
  if (!S_ISREG(st.st_mode)) return failed("is not a regular file");
  if (static_cast<std::size_t>(st.st_size) > limit) {
    return failed("is larger than " + std::to_string(limit >> 20) + " MiB; it is no settings file");
  }
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(std::strerror(errno));
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) return failed("is larger than " + std::to_string(limit >> 20) + " MiB");
  }
  sys.close(fd);
  return std::optional<std::string>(std::move(text));
}

fs::path resolvedTarget(const fs::path& path) {
  fs::path target = path;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
    fs::path next = fs::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

Result<void> write(const fs::path& path, const std::string& text, const WriteOptions& options) {
  const fs::path target = resolvedTarget(path);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    return Error{target.string() + (S_ISDIR(st.st_mode) ? ": is a directory" : ": is not a regular file")};
  }
  if (exists && !options.backup.empty()) {
    auto old = read(target);
    if (!old) return old.error();
    // Gone since the stat: there is nothing to keep.
    if (*old) {
      if (auto kept = replace(options.backup, **old, st.st_mode & 07777); !kept) {
        return Error{"cannot keep a backup: " + kept.error().message};
      }
    }
  }
  removeStaleTemporaries(target);
  return replace(target, text, exists ? (st.st_mode & 07777) : newFileMode(options.newFileMode));
}

FolderLock::FolderLock(const fs::path& path, std::chrono::milliseconds wait) {
  const Syscalls& sys = *g_calls;
  const fs::path target = resolvedTarget(path);
  const fs::path dir = target.parent_path();
  fd_ = sys.open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd_ < 0 && errno == EACCES) {
    // A folder that may be written but not read cannot be opened to lock it:
    // a lock file beside the target then, so that writers still take turns.
    const fs::path lockFile = target.string() + ".lock";
    fd_ = sys.open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  }
  if (fd_ < 0) return;
  // Polled rather than blocking, so that a holder that never lets go (stopped,
  // hung) costs the caller `wait` and no more.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + wait;
  for (;;) {
    if (sys.flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) break;
    const auto now = Clock::now();
    if (now >= deadline) {
      busy_ = true;
      break;
    }
    const auto pause = std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(20));
    ::usleep(static_cast<useconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(pause).count()));
  }
  sys.close(fd_);
  fd_ = -1;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) g_calls->close(fd_);  // closing releases the lock
}

}  // namespace orbelune::atomic_file
