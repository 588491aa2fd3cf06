#pragma once
// Which display server a session's watcher watches, named the same however the
// environment spells it, so that one server gets one lock.
#include <filesystem>
#include <string>
#include <string_view>

namespace orbelune {

// The server named by WAYLAND_DISPLAY (`wayland`, taken first when set) or
// DISPLAY (`x11`):
// - Wayland: "wayland:" and the socket's path, a relative name being relative
//   to `runtimeDir` as the client library takes it ("wayland-1" and
//   "/run/user/1000/wayland-1" are one server);
// - X11 on this machine's socket: "x11:N" for ":N", ":N.S", "unix:N",
//   "unix/:N", "unix/HOST:N" and "/tmp/.X11-unix/XN";
// - X11 over TCP: "x11-tcp:HOST:N" (host in lower case), because "localhost:10"
//   is often another server (an ssh forward) than ":10";
// - anything else: "x11-name:" and the name as it is.
// Empty when neither is set.
std::string displayIdentity(std::string_view wayland, std::string_view x11, const std::filesystem::path& runtimeDir);

// `identity` as part of a file name: letters, digits, '.', '-' and '_' as they
// are, every other byte as %XX; long identities shortened, with a hash of the
// whole, to stay within a file name's length.
std::string identityFileName(const std::string& identity);

}  // namespace orbelune
