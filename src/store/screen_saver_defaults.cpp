#include "store/screen_saver_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "store/atomic_file.h"
#include "base/number_text.h"

namespace orbelune {
namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// A settings file is a flat object of small entries; anything nested deeper is
// no settings file, and is not built up only to overflow the stack later.
constexpr int kMaxDepth = 64;

json parseSettingsJson(const std::string& text, bool& tooDeep) {
  tooDeep = false;
  auto limitDepth = [&tooDeep](int depth, json::parse_event_t, json&) {
    if (depth > kMaxDepth) tooDeep = true;
    return !tooDeep;
  };
  json doc = json::parse(text, limitDepth, /*allow_exceptions=*/false);
  if (tooDeep) return json(json::value_t::discarded);
  return doc;
}

// The text with every number JSON cannot hold as a finite double (1e999) and
// every NaN or Infinity word outside strings replaced by null.
std::string withUnreadableNumbersAsNull(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-'; };
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '"') {  // a string, escapes and all, copied as it is
      std::size_t j = i + 1;
      while (j < text.size() && text[j] != '"') j += text[j] == '\\' ? 2 : 1;
      j = std::min(j + 1, text.size());
      out.append(text, i, j - i);
      i = j;
      continue;
    }
    if (!isWordChar(c)) {
      out += c;
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && isWordChar(text[j])) ++j;
    const std::string token = text.substr(i, j - i);
    std::string lower;
    for (char t : token) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(t)));
    const std::string bare = lower[0] == '-' || lower[0] == '+' ? lower.substr(1) : lower;
    // Out of range upwards only: a number too small (1e-400) JSON reads as 0.
    const std::size_t e = lower.find('e');
    const bool overflows = scanNumber(token).status == ScannedNumber::Outcome::OutOfRange &&
                           !(e != std::string::npos && e + 1 < lower.size() && lower[e + 1] == '-');
    const bool notFinite = bare == "nan" || bare == "inf" || bare == "infinity" || overflows;
    out += notFinite ? "null" : token;
    i = j;
  }
  return out;
}

bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// One stored entry as JSON: {"integer": 1}, {"real": 0.8}, {"boolean": true},
// {"data": "hex"}, {"string": "text"}.
json encodeEntry(const DefaultsValue& v) {
  struct Visitor {
    json operator()(std::int64_t i) const { return {{"integer", i}}; }
    json operator()(double d) const { return {{"real", d}}; }
    json operator()(bool b) const { return {{"boolean", b}}; }
    json operator()(const Bytes& b) const { return {{"data", toHex(b)}}; }
    json operator()(const std::string& s) const { return {{"string", s}}; }
  };
  return std::visit(Visitor{}, v);
}

std::optional<DefaultsValue> decodeEntry(const json& j) {
  if (!j.is_object() || j.size() != 1) return std::nullopt;
  const auto it = j.begin();
  const std::string& type = it.key();
  const json& value = it.value();
  if (type == "integer") {
    if (value.is_number_integer() && value.is_number_unsigned()) {
      auto u = value.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
      return DefaultsValue(static_cast<std::int64_t>(u));
    }
    if (value.is_number_integer()) return DefaultsValue(value.get<std::int64_t>());
  } else if (type == "real") {
    if (value.is_number()) return DefaultsValue(value.get<double>());
  } else if (type == "boolean") {
    if (value.is_boolean()) return DefaultsValue(value.get<bool>());
  } else if (type == "data") {
    Bytes b;
    if (value.is_string() && fromHex(value.get<std::string>(), b)) return DefaultsValue(std::move(b));
  } else if (type == "string") {
    if (value.is_string()) return DefaultsValue(value.get<std::string>());
  }
  return std::nullopt;
}

// A stored real that is not finite counts as not stored.
bool usable(const DefaultsValue& v) {
  if (auto d = std::get_if<double>(&v)) return std::isfinite(*d);
  return true;
}

}  // namespace

struct ScreenSaverDefaults::Loaded {
  DefaultsDictionary values;
  std::map<std::string, std::string> opaque;
  bool corrupt = false;     // read, but not a settings file: kept aside before a write
  bool partial = false;     // corrupt, yet its readable entries were read
  bool unreadable = false;  // could not be read: a write must fail and leave it
  std::string problem;
  std::string text;         // a corrupt file's bytes
};

fs::path ScreenSaverDefaults::configDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "orbelune";
  fs::path home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir) {
    home = user->pw_dir;
  }
  if (!home.is_absolute()) return {};
  return home / ".config" / "orbelune";
}

fs::path ScreenSaverDefaults::fileForModule(const std::string& moduleName) {
  const fs::path dir = configDirectory();
  return dir.empty() ? fs::path() : dir / (moduleName + ".json");
}

std::optional<FileStamp> FileStamp::of(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.changeSeconds = st.st_ctim.tv_sec;
  stamp.changeNanoseconds = st.st_ctim.tv_nsec;
  stamp.modifySeconds = st.st_mtim.tv_sec;
  stamp.modifyNanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

std::shared_ptr<ScreenSaverDefaults> ScreenSaverDefaults::forModule(const std::string& moduleName, Access access) {
  if (!isPlainName(moduleName)) return nullptr;
  if (configDirectory().empty()) return nullptr;
  return std::make_shared<ScreenSaverDefaults>(fileForModule(moduleName), access);
}

ScreenSaverDefaults::ScreenSaverDefaults(fs::path file, Access access)
    : file_(std::move(file)), access_(access), lockWait_(atomic_file::kDefaultLockWait) {
  adopt(readFile());
}

bool ScreenSaverDefaults::fileChanged() const { return FileStamp::of(file_) != readStamp_; }

ScreenSaverDefaults::Loaded ScreenSaverDefaults::readFile() {
  Loaded loaded;
  // Stamped before the read: a file replaced between the two is read again
  // on the next change check, never missed.
  readStamp_ = FileStamp::of(file_);
  auto file = atomic_file::read(file_);
  if (!file) {
    // Not the same as corrupt: a file that could not be read may be fine, so
    // it is neither moved aside nor overwritten.
    loaded.unreadable = true;
    loaded.problem = file.error().message;
    return loaded;
  }
  if (!*file) return loaded;  // no file yet
  std::string& text = **file;
  bool tooDeep = false;
  json doc = parseSettingsJson(text, tooDeep);
  bool repaired = false;
  if (doc.is_discarded() && !tooDeep) {
    // Numbers JSON cannot hold (1e999, NaN) read as not stored; the rest is kept.
    doc = parseSettingsJson(withUnreadableNumbersAsNull(text), tooDeep);
    repaired = !doc.is_discarded();
  }
  if (doc.is_discarded() || !doc.is_object() || repaired) {
    // Either way the file on disk is kept aside, byte for byte, before it is replaced.
    loaded.corrupt = true;
    loaded.text = std::move(text);
    if (!repaired) {
      loaded.problem = tooDeep ? "nested more than " + std::to_string(kMaxDepth) + " levels deep"
                               : doc.is_discarded() ? "not valid JSON" : "not a JSON object";
      return loaded;
    }
    loaded.partial = true;
    loaded.problem = "numbers out of range, read as not stored";
  }
  for (const auto& [key, entry] : doc.items()) {
    if (auto v = decodeEntry(entry)) {
      loaded.values[key] = std::move(*v);
    } else {
      loaded.opaque[key] = entry.dump();
    }
  }
  return loaded;
}

void ScreenSaverDefaults::adopt(Loaded&& loaded) {
  // A store that writes keeps a corrupt file aside before its first write;
  // one that only reads leaves it where it is.
  const bool keepsAside = access_ == Access::ReadWrite;
  if (loaded.partial && !warned_) {
    warned_ = true;
    warnings_.push_back("settings file " + file_.string() + ": " + loaded.problem +
                        (keepsAside ? "; the file as it is will be kept as " + file_.string() + ".corrupt" : ""));
  } else if (loaded.corrupt && !warned_) {
    warned_ = true;
    warnings_.push_back("cannot read settings file " + file_.string() + " (" + loaded.problem + "); using defaults" +
                        (keepsAside ? ", the file will be kept as " + file_.string() + ".corrupt" : ""));
  } else if (loaded.unreadable && !warned_) {
    warned_ = true;
    warnings_.push_back(loaded.problem + "; using defaults");
  }
  corrupt_ = loaded.corrupt;
  corruptText_ = std::move(loaded.text);
  unreadable_ = loaded.unreadable ? loaded.problem : std::string();
  stored_ = std::move(loaded.values);
  opaque_ = std::move(loaded.opaque);
  for (const auto& [key, change] : pending_) {
    if (change) {
      stored_[key] = *change;
      opaque_.erase(key);
    } else {
      stored_.erase(key);
      opaque_.erase(key);
    }
  }
}

std::vector<std::string> ScreenSaverDefaults::takeWarnings() { return std::exchange(warnings_, {}); }

void ScreenSaverDefaults::registerDefaults(const DefaultsDictionary& defaults) {
  for (const auto& [key, value] : defaults) registered_[key] = value;
}

std::optional<DefaultsValue> ScreenSaverDefaults::storedValue(const std::string& key) const {
  auto it = stored_.find(key);
  if (it == stored_.end()) return std::nullopt;
  return it->second;
}

std::optional<DefaultsValue> ScreenSaverDefaults::value(const std::string& key) const {
  if (auto it = stored_.find(key); it != stored_.end() && usable(it->second)) return it->second;
  if (auto it = registered_.find(key); it != registered_.end()) return it->second;
  return std::nullopt;
}

std::int64_t ScreenSaverDefaults::integer(const std::string& key) const {
  auto v = value(key);
  if (!v) return 0;
  if (auto i = std::get_if<std::int64_t>(&*v)) return *i;
  if (auto b = std::get_if<bool>(&*v)) return *b ? 1 : 0;
  // A text value reads as the number it begins with, after white space.
  double d = 0.0;
  if (auto r = std::get_if<double>(&*v)) {
    d = *r;
  } else if (auto s = std::get_if<std::string>(&*v); auto n = s ? leadingNumber(*s) : std::nullopt) {
    d = *n;
  } else {
    return 0;
  }
  // Truncate toward zero; reals beyond the integer range saturate.
  if (d >= 9.2233720368547758e18) return INT64_MAX;
  if (d <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<std::int64_t>(d);
}

double ScreenSaverDefaults::real(const std::string& key) const {
  auto v = value(key);
  if (!v) return 0.0;
  if (auto r = std::get_if<double>(&*v)) return *r;
  if (auto i = std::get_if<std::int64_t>(&*v)) return static_cast<double>(*i);
  if (auto b = std::get_if<bool>(&*v)) return *b ? 1.0 : 0.0;
  if (auto s = std::get_if<std::string>(&*v)) return leadingNumber(*s).value_or(0.0);
  return 0.0;
}

bool ScreenSaverDefaults::boolean(const std::string& key) const {
  auto v = value(key);
  if (!v) return false;
  if (auto b = std::get_if<bool>(&*v)) return *b;
  if (auto i = std::get_if<std::int64_t>(&*v)) return *i != 0;
  if (auto r = std::get_if<double>(&*v)) return *r != 0.0;
  if (auto s = std::get_if<std::string>(&*v)) {
    std::string t;
    for (char c : *s) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t == "yes" || t == "true" || t == "1";
  }
  return false;
}

void ScreenSaverDefaults::setObject(const DefaultsValue& value, const std::string& key) {
  stored_[key] = value;
  opaque_.erase(key);
  pending_[key] = value;
}

void ScreenSaverDefaults::remove(const std::string& key) {
  stored_.erase(key);
  opaque_.erase(key);
  pending_[key] = std::nullopt;
}

void ScreenSaverDefaults::setObjectsIfNoneStored(const DefaultsDictionary& values) {
  for (const auto& [key, value] : values) pendingIfNoneStored_[key] = value;
}

Result<void> ScreenSaverDefaults::synchronize() {
  if (pending_.empty() && pendingIfNoneStored_.empty()) {
    adopt(readFile());
    return {};
  }
  if (access_ == Access::ReadOnly) {
    adopt(readFile());
    return Error{"the settings file " + file_.string() + " is open only to be read here; the changes are not stored"};
  }
  // The store's own folder is made when missing; folders a link to the file
  // points into are someone else's, and are not.
  std::error_code ec;
  const fs::path own = file_.parent_path();
  fs::create_directories(own, ec);
  if (ec) return Error{"cannot create " + own.string() + ": " + ec.message()};
  const fs::path dir = atomic_file::resolvedTarget(file_).parent_path();
  if (!fs::is_directory(dir, ec)) {
    return Error{file_.string() + " is a link into " + dir.string() + ", which is no folder"};
  }
  // Read, merge and replace under the folder's lock, so that two programs
  // writing at once each keep what the other wrote.
  atomic_file::FolderLock lock(file_, lockWait_);
  if (lock.busy()) return Error{"the settings file is locked by another program"};
  // Start from the file as it is now, so that what other programs wrote since we
  // read it survives, and put our own changes on top.
  Loaded onDisk = readFile();
  const bool noneStored = std::none_of(pendingIfNoneStored_.begin(), pendingIfNoneStored_.end(), [&](const auto& entry) {
    return onDisk.values.count(entry.first) || onDisk.opaque.count(entry.first);
  });
  adopt(std::move(onDisk));
  if (!unreadable_.empty()) return Error{unreadable_ + "; the file is left as it is"};
  if (noneStored) {
    for (const auto& [key, value] : pendingIfNoneStored_) {
      if (pending_.count(key)) continue;  // a change of this store's own comes first
      stored_[key] = value;
      opaque_.erase(key);
    }
  }
  json doc = json::object();
  for (const auto& [key, text] : opaque_) doc[key] = json::parse(text);
  for (const auto& [key, value] : stored_) doc[key] = encodeEntry(value);
  if (corrupt_) {
    if (auto kept = keepCorruptAside(); !kept) return kept;
  }
  // Keys and strings are UTF-8 (callers check); should one not be, it is
  // written with U+FFFD in its place rather than abort the write.
  const std::string text = doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  if (auto written = atomic_file::write(file_, text, {{}, 0666}); !written) return written;
  readStamp_ = FileStamp::of(file_);  // what it holds now is what this store holds
  pending_.clear();
  pendingIfNoneStored_.clear();
  corrupt_ = false;
  return {};
}

Result<void> ScreenSaverDefaults::keepCorruptAside() {
  // Keep what the user had: the unreadable bytes go to a file of their own
  // first; the store itself is only ever replaced whole.
  const fs::path target = atomic_file::resolvedTarget(file_);
  std::error_code ec;
  fs::path aside = target.string() + ".corrupt";
  for (int n = 1; fs::exists(aside, ec); ++n) aside = target.string() + ".corrupt." + std::to_string(n);
  if (auto written = atomic_file::write(aside, corruptText_, {{}, 0600}); !written) {
    return Error{"cannot keep the unreadable file aside: " + written.error().message};
  }
  return {};
}

}  // namespace orbelune
