#include "platform/screen_saver_defaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace orbelune {
namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::function<bool()>& beforeRenameHook() {
  static std::function<bool()> hook;
  return hook;
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

bool parseLeadingDouble(const std::string& s, double& out) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  const char* first = s.data() + i;
  if (i < s.size() && s[i] == '+') ++first;
  auto res = std::from_chars(first, s.data() + s.size(), out);
  return res.ec == std::errc() && std::isfinite(out);
}

}  // namespace

struct ScreenSaverDefaults::Loaded {
  DefaultsDictionary values;
  std::map<std::string, std::string> opaque;
  bool corrupt = false;
  std::string problem;
};

fs::path ScreenSaverDefaults::configDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg && *xdg && fs::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : "/") / ".config";
  }
  return base / "orbelune";
}

fs::path ScreenSaverDefaults::fileForModule(const std::string& moduleName) {
  return configDirectory() / (moduleName + ".json");
}

std::shared_ptr<ScreenSaverDefaults> ScreenSaverDefaults::defaultsForModuleWithName(const std::string& moduleName) {
  if (!isPlainName(moduleName)) return nullptr;
  static std::map<fs::path, std::weak_ptr<ScreenSaverDefaults>> stores;
  fs::path file = fileForModule(moduleName);
  if (auto existing = stores[file].lock()) return existing;
  auto store = std::make_shared<ScreenSaverDefaults>(file);
  stores[file] = store;
  return store;
}

void ScreenSaverDefaults::setBeforeRenameHookForTesting(std::function<bool()> hook) {
  beforeRenameHook() = std::move(hook);
}

ScreenSaverDefaults::ScreenSaverDefaults(fs::path file) : file_(std::move(file)) { adopt(readFile()); }

ScreenSaverDefaults::Loaded ScreenSaverDefaults::readFile() const {
  Loaded loaded;
  std::error_code ec;
  if (!fs::exists(file_, ec)) return loaded;
  std::ifstream in(file_, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  if (!in) {
    loaded.corrupt = true;
    loaded.problem = std::strerror(errno);
    return loaded;
  }
  json doc = json::parse(buffer.str(), nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_object()) {
    loaded.corrupt = true;
    loaded.problem = doc.is_discarded() ? "not valid JSON" : "not a JSON object";
    return loaded;
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
  if (loaded.corrupt && !warned_) {
    warned_ = true;
    std::cerr << "orbelune: warning: cannot read settings file " << file_.string() << " (" << loaded.problem
              << "); using defaults, the file will be kept as " << file_.string() << ".corrupt\n";
  }
  corrupt_ = loaded.corrupt;
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

void ScreenSaverDefaults::registerDefaults(const DefaultsDictionary& defaults) {
  for (const auto& [key, value] : defaults) registered_[key] = value;
}

std::optional<DefaultsValue> ScreenSaverDefaults::storedObjectForKey(const std::string& key) const {
  auto it = stored_.find(key);
  if (it == stored_.end()) return std::nullopt;
  return it->second;
}

std::optional<DefaultsValue> ScreenSaverDefaults::objectForKey(const std::string& key) const {
  if (auto it = stored_.find(key); it != stored_.end() && usable(it->second)) return it->second;
  if (auto it = registered_.find(key); it != registered_.end()) return it->second;
  return std::nullopt;
}

std::int64_t ScreenSaverDefaults::integerForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return 0;
  if (auto i = std::get_if<std::int64_t>(&*v)) return *i;
  if (auto b = std::get_if<bool>(&*v)) return *b ? 1 : 0;
  double d = 0.0;
  if (auto r = std::get_if<double>(&*v)) d = *r;
  else if (auto s = std::get_if<std::string>(&*v); !(s && parseLeadingDouble(*s, d))) return 0;
  // Truncate toward zero; reals beyond the integer range saturate.
  if (d >= 9.2233720368547758e18) return INT64_MAX;
  if (d <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<std::int64_t>(d);
}

double ScreenSaverDefaults::doubleForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return 0.0;
  if (auto r = std::get_if<double>(&*v)) return *r;
  if (auto i = std::get_if<std::int64_t>(&*v)) return static_cast<double>(*i);
  if (auto b = std::get_if<bool>(&*v)) return *b ? 1.0 : 0.0;
  double d = 0.0;
  if (auto s = std::get_if<std::string>(&*v); s && parseLeadingDouble(*s, d)) return d;
  return 0.0;
}

bool ScreenSaverDefaults::boolForKey(const std::string& key) const {
  auto v = objectForKey(key);
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

void ScreenSaverDefaults::removeObjectForKey(const std::string& key) {
  stored_.erase(key);
  opaque_.erase(key);
  pending_[key] = std::nullopt;
}

bool ScreenSaverDefaults::synchronize() {
  lastError_.clear();
  // Start from the file as it is now, so that what other programs wrote since we
  // read it survives, and put our own changes on top.
  adopt(readFile());
  if (pending_.empty()) return true;

  json doc = json::object();
  for (const auto& [key, text] : opaque_) doc[key] = json::parse(text);
  for (const auto& [key, value] : stored_) doc[key] = encodeEntry(value);
  if (!writeFile(doc.dump(2) + "\n")) return false;
  pending_.clear();
  corrupt_ = false;
  return true;
}

bool ScreenSaverDefaults::writeFile(const std::string& text) {
  auto fail = [this](const std::string& what) {
    lastError_ = what + ": " + std::strerror(errno);
    return false;
  };
  fs::path dir = file_.parent_path();
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    lastError_ = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  if (corrupt_ && fs::exists(file_, ec)) {
    // Keep what the user had: the unreadable file moves aside, never away.
    fs::path aside = file_.string() + ".corrupt";
    for (int n = 1; fs::exists(aside, ec); ++n) aside = file_.string() + ".corrupt." + std::to_string(n);
    if (std::rename(file_.c_str(), aside.c_str()) != 0) return fail("cannot move " + file_.string() + " aside");
  }
  std::string tmpl = (dir / ("." + file_.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return fail("cannot create a temporary file in " + dir.string());
  auto abandon = [&](const std::string& what) {
    int saved = errno;
    if (fd >= 0) close(fd);
    unlink(tmpl.c_str());
    errno = saved;
    return fail(what);
  };
  fchmod(fd, 0644);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write " + tmpl);
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) return abandon("cannot flush " + tmpl);
  if (close(fd) != 0) {
    fd = -1;
    return abandon("cannot close " + tmpl);
  }
  fd = -1;
  if (auto& hook = beforeRenameHook(); hook && !hook()) {
    errno = EIO;
    return abandon("write interrupted before replacing " + file_.string());
  }
  if (std::rename(tmpl.c_str(), file_.c_str()) != 0) return abandon("cannot replace " + file_.string());
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

}  // namespace orbelune
