#include "activation/display_identity.h"

#include <cctype>
#include <cstdio>
#include <functional>

namespace orbelune {
namespace fs = std::filesystem;
namespace {

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// "N" or "N.S" (a screen of display N): the display number, or empty.
std::string_view displayNumber(std::string_view s) {
  const auto dot = s.find('.');
  const std::string_view number = s.substr(0, dot);
  if (!allDigits(number)) return {};
  if (dot != std::string_view::npos && !allDigits(s.substr(dot + 1))) return {};
  return number;
}

// Without leading zeros, so that ":01" and ":1" are one display.
std::string canonicalNumber(std::string_view n) {
  while (n.size() > 1 && n.front() == '0') n.remove_prefix(1);
  return std::string(n);
}

std::string x11Identity(std::string_view name) {
  const std::string raw = "x11-name:" + std::string(name);
  constexpr std::string_view kSocketFolder = "/tmp/.X11-unix/X";
  if (name.front() == '/') {
    // A socket's path, optionally followed by ":N" or ".S" as the client library allows.
    if (name.substr(0, kSocketFolder.size()) != kSocketFolder) return raw;
    std::string_view rest = name.substr(kSocketFolder.size());
    const auto colon = rest.find(':');
    const std::string_view number = rest.substr(0, colon);
    if (!allDigits(number.substr(0, number.find('.')))) return raw;
    return "x11:" + canonicalNumber(number.substr(0, number.find('.')));
  }
  std::string_view protocol;
  if (const auto slash = name.find('/'); slash != std::string_view::npos) {
    protocol = name.substr(0, slash);
    name.remove_prefix(slash + 1);
  }
  const auto colon = name.rfind(':');
  if (colon == std::string_view::npos) return raw;
  const std::string_view host = name.substr(0, colon);
  const std::string_view number = displayNumber(name.substr(colon + 1));
  if (number.empty() || (colon > 0 && name[colon - 1] == ':')) return raw;  // "host::N" is DECnet
  const bool local = protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"));
  if (local) return "x11:" + canonicalNumber(number);
  if (!(protocol.empty() || protocol == "tcp" || protocol == "inet" || protocol == "inet6")) return raw;
  std::string lowered;
  for (char c : host) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return "x11-tcp:" + lowered + ":" + canonicalNumber(number);
}

}  // namespace

std::string displayIdentity(std::string_view wayland, std::string_view x11, const fs::path& runtimeDir) {
  if (!wayland.empty()) {
    fs::path socket = fs::path(std::string(wayland));
    if (socket.is_relative()) socket = runtimeDir / socket;
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(socket, ec);
    if (ec) resolved = socket.lexically_normal();
    return "wayland:" + resolved.string();
  }
  if (!x11.empty()) return x11Identity(x11);
  return {};
}

std::string identityFileName(const std::string& identity) {
  std::string name;
  for (unsigned char c : identity) {
    if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
      name += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      name += escaped;
    }
  }
  constexpr std::size_t kLongest = 160;
  if (name.size() > kLongest) {
    char hash[24];
    std::snprintf(hash, sizeof hash, "-%016zx", std::hash<std::string>{}(identity));
    name = name.substr(0, kLongest) + hash;
  }
  return name;
}

}  // namespace orbelune
