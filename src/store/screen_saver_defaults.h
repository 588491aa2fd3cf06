#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

#include "store/defaults_value.h"

namespace orbelune {

using DefaultsDictionary = std::map<std::string, DefaultsValue>;

// What tells one version of a file from another without reading it.
struct FileStamp {
  std::uint64_t device = 0, inode = 0;
  std::int64_t size = 0, changeSeconds = 0, changeNanoseconds = 0, modifySeconds = 0, modifyNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
  // The file's stamp (through links), or none when there is no file to stat.
  static std::optional<FileStamp> of(const std::filesystem::path& path);
};

// The per-module preferences store: one JSON file per module under
// $XDG_CONFIG_HOME/orbelune/. Reads fall back to the registered defaults, which
// live only in the process and are never written. Writes are kept in memory until
// `synchronize`, which merges them into the file as it is on disk (so keys other
// programs wrote are kept) and replaces it atomically.
class ScreenSaverDefaults {
 public:
  // ReadOnly: the store only ever opens its file to read it (a host that may
  // not write, such as one inside a lock screen): synchronize writes nothing,
  // neither the changes nor a corrupt file kept aside, and takes no lock.
  enum class Access { ReadWrite, ReadOnly };

  // Opens the module's store: a new object over its file, read now. A host
  // opens it once and hands it to its views and sheet. Returns nullptr for a
  // module name that is not a plain file name, or when there is no config
  // folder (see configDirectory).
  static std::shared_ptr<ScreenSaverDefaults> forModule(const std::string& moduleName,
                                                        Access access = Access::ReadWrite);
  // $XDG_CONFIG_HOME/orbelune, or ~/.config/orbelune when the variable is unset or
  // relative; without $HOME the home folder is the password database's. Empty
  // when there is none: the store is then nowhere, never in "/".
  static std::filesystem::path configDirectory();
  static std::filesystem::path fileForModule(const std::string& moduleName);

  explicit ScreenSaverDefaults(std::filesystem::path file, Access access = Access::ReadWrite);

  void registerDefaults(const DefaultsDictionary& defaults);
  std::optional<DefaultsValue> value(const std::string& key) const;
  std::int64_t integer(const std::string& key) const;
  double real(const std::string& key) const;
  bool boolean(const std::string& key) const;
  void setObject(const DefaultsValue& value, const std::string& key);
  void remove(const std::string& key);
  // Values written along with the next synchronize only if the file, as it is
  // on disk then, holds none of their keys: a first write of a group of keys
  // makes the file complete, and never overwrites what another program stored.
  void setObjectsIfNoneStored(const DefaultsDictionary& values);
  // Writes pending changes (or, with none, reads the file again). An error when
  // the file could not be written (the old file then stays), or when another
  // program kept the settings folder locked for longer than the lock wait (the
  // changes then stay pending). A read-only store reads the file again; with
  // changes pending that is an error, and they stay pending.
  Result<void> synchronize();
  // Whether the file on disk is not the one last read (its inode, size or
  // change time differ, or it came or went), by one stat of the file.
  bool fileChanged() const;
  // How long synchronize waits for another program's lock on the folder.
  void setLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // What the store had to tell about the file since the last call (a corrupt
  // file kept aside, an unreadable one), one line each, for the host to show;
  // the store itself prints nothing. A file's trouble is told once per store.
  std::vector<std::string> takeWarnings();

  // What the file holds, registered defaults excluded.
  DefaultsDictionary storedValues() const { return stored_; }
  std::optional<DefaultsValue> storedValue(const std::string& key) const;
  // Entries of a type this program does not know, as their JSON text: kept
  // through every rewrite, shown and removable like any other.
  const std::map<std::string, std::string>& unknownEntries() const { return opaque_; }
  bool contains(const std::string& key) const { return stored_.count(key) || opaque_.count(key); }
  const std::filesystem::path& file() const { return file_; }

 private:
  struct Loaded;
  Loaded readFile();
  void adopt(Loaded&& loaded);
  Result<void> keepCorruptAside();

  std::filesystem::path file_;
  Access access_;
  std::chrono::milliseconds lockWait_;
  DefaultsDictionary registered_;
  DefaultsDictionary stored_;
  std::map<std::string, std::string> opaque_;  // entries of unknown type, kept as JSON text
  std::map<std::string, std::optional<DefaultsValue>> pending_;  // nullopt = removal
  DefaultsDictionary pendingIfNoneStored_;
  bool corrupt_ = false;  // the file on disk is no settings file, or was read only
                          // in part; keep it aside before writing
  std::string corruptText_;
  std::string unreadable_;  // why the file on disk could not be read, or empty
  bool warned_ = false;
  std::vector<std::string> warnings_;
  std::optional<FileStamp> readStamp_;  // the file as it was when last read; none: no file
};

}  // namespace orbelune
