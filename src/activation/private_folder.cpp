#include "activation/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orbelune {
namespace fs = std::filesystem;
namespace {

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Whoever may write in a folder may rename or remove what is in it, unless it
// is sticky (as /tmp is), when only the entry's owner may; and its owner may
// always. So no folder above `folder` (found through "..", the folders it is
// really in, whatever names led to it) may be another user's but root's, nor
// writable by others and not sticky: else another user could move the private
// folder away and put another in its place.
Result<void> noOtherMayMoveIt(int folder, const fs::path& path) {
  UniqueFd current(dup(folder));
  fs::path name = path;
  struct stat here {};
  if (!current.valid() || fstat(current.get(), &here) != 0) {
    return Error{"cannot examine " + path.string() + ": " + std::strerror(errno)};
  }
  for (;;) {
    // O_PATH: a folder above may be one this user may pass through but not
    // list (mode 0711), which is as safe.
    UniqueFd up(openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat above {};
    if (!up.valid() || fstat(up.get(), &above) != 0) {
      return Error{"cannot examine the folders above " + path.string() + ": " + std::strerror(errno)};
    }
    if (above.st_dev == here.st_dev && above.st_ino == here.st_ino) return {};  // the root
    name = name.parent_path();
    const bool othersWrite = (above.st_mode & 022) != 0 && (above.st_mode & S_ISVTX) == 0;
    if ((above.st_uid != 0 && above.st_uid != getuid()) || othersWrite) {
      return Error{path.string() + " is in " + name.string() + " (owner uid " + std::to_string(above.st_uid) +
                   ", mode " + octal(above.st_mode) + "), where others may rename or remove it"};
    }
    current = std::move(up);
    here = above;
  }
}

}  // namespace

Result<PrivateFolder> openPrivateFolder(const fs::path& given, bool create) {
  if (!given.is_absolute()) return Error{"the folder " + given.string() + " is not an absolute path"};
  // "link/" and "link/." make open() follow a symbolic link whatever
  // O_NOFOLLOW says: the folder's own name is made the last one.
  fs::path path = given.lexically_normal();
  if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
  if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return Error{"cannot create " + path.string() + ": " + std::strerror(errno)};
  }
  // O_NOFOLLOW: a symbolic link in the folder's place is refused, not followed
  // to wherever its maker points it.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    const int e = errno;
    if (e == ELOOP || e == ENOTDIR) return Error{path.string() + " is not a folder (a symbolic link or a file)"};
    return Error{"cannot open " + path.string() + ": " + std::strerror(e)};
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return Error{"cannot examine " + path.string() + ": " + std::strerror(errno)};
  if (!S_ISDIR(st.st_mode)) return Error{path.string() + " is not a folder"};
  if (st.st_uid != getuid()) {
    return Error{path.string() + " belongs to another user (uid " + std::to_string(st.st_uid) + ")"};
  }
  if ((st.st_mode & 077) != 0 || (st.st_mode & 0700) != 0700) {
    return Error{path.string() + " has mode " + octal(st.st_mode) + ", not 0700: others may reach it"};
  }
  // A read-only mount passes the mode check but takes no lock file.
  if (faccessat(fd.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
    return Error{"cannot write in " + path.string() + ": " + std::strerror(errno)};
  }
  if (auto safe = noOtherMayMoveIt(fd.get(), path); !safe) return safe.error();
  return PrivateFolder{std::move(fd), path};
}

Result<PrivateFolder> watcherFolder(bool create) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') {
    if (auto folder = openPrivateFolder(runtime, false)) return folder;
  }
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = tmp && *tmp == '/' ? fs::path(tmp) : fs::path("/tmp");
  const fs::path own = base / ("orbelune-" + std::to_string(getuid()));
  auto folder = openPrivateFolder(own, create);
  if (!folder) {
    return Error{"no private folder for the watcher's lock ($XDG_RUNTIME_DIR is " +
                 std::string(runtime && *runtime ? "not a private folder of this user" : "not set") + ", and " +
                 folder.error().message + ")"};
  }
  return folder;
}

}  // namespace orbelune
