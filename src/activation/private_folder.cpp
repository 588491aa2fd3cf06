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

}  // namespace

Result<PrivateFolder> openPrivateFolder(const fs::path& path, bool create) {
  if (!path.is_absolute()) return Error{"the folder " + path.string() + " is not an absolute path"};
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
