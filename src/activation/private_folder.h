#pragma once
// A folder only this user can reach, for files another user must not be able
// to make, replace or read first: the watcher's lock.
#include <filesystem>

#include "base/result.h"
#include "base/unique_fd.h"

namespace orbelune {

// An open folder that was, when opened, a directory (not a symbolic link to
// one) owned by this user, with every permission for the user and none for
// anyone else. Files are made and opened relative to `fd`, so that what was
// checked is what is used even if the name is replaced afterwards. It can be
// written in (not on a read-only mount).
struct PrivateFolder {
  UniqueFd fd;
  std::filesystem::path path;
};

// Opens `path` as a private folder, making it (mode 0700) first when `create`
// and it does not exist. Refuses anything else: another user's folder, one
// others may enter or write, a symbolic link, a file.
Result<PrivateFolder> openPrivateFolder(const std::filesystem::path& path, bool create);

// Where this user's watcher keeps its lock: $XDG_RUNTIME_DIR when it is a
// private folder, else ${TMPDIR:-/tmp}/orbelune-<uid> (made when missing). An
// error, naming the folder and why, when neither can be had: a watcher never
// runs without the lock.
Result<PrivateFolder> watcherFolder(bool create);

}  // namespace orbelune
