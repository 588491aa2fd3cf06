#include "session/idle_activation.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/number_text.h"
#include "store/atomic_file.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {
namespace fs = std::filesystem;

fs::path idleAutostartFile() {
  // The autostart folder is a sibling of the store's folder under the config home.
  const fs::path store = ScreenSaverDefaults::configDirectory();
  if (store.empty()) return {};
  return store.parent_path() / "autostart" / "orbelune-idle.desktop";
}

Result<void> writeIdleAutostart(const fs::path& program) {
  const fs::path file = idleAutostartFile();
  if (file.empty()) return Error{"there is no config folder (neither XDG_CONFIG_HOME nor HOME is set)"};
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return Error{"cannot create " + file.parent_path().string() + ": " + ec.message()};
  // Exec takes its arguments quoted as the desktop entry format quotes them.
  std::string quoted = "\"";
  for (char c : program.string()) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += "\"";
  const std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Orbelune idle watcher\n"
      "Comment=Shows the Orbelune figure whenever the session goes idle\n"
      "Exec=" + quoted + " idle\n"
      "Icon=org.orbelune.Orbelune.Settings\n"
      "NoDisplay=true\n"
      "X-GNOME-Autostart-enabled=true\n";
  return atomic_file::write(file, text);
}

Result<void> removeIdleAutostart() {
  const fs::path file = idleAutostartFile();
  if (file.empty()) return {};
  if (unlink(file.c_str()) != 0 && errno != ENOENT) {
    return Error{"cannot remove " + file.string() + ": " + std::strerror(errno)};
  }
  return {};
}

fs::path idleWatcherLockFile() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const fs::path dir = runtime && *runtime == '/' ? runtime : "/tmp";
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  std::string display = wayland && *wayland ? std::string("wayland-") + wayland
                                            : std::string("x11-") + (x11 ? x11 : "");
  std::string name = "orbelune-idle-" + std::to_string(getuid()) + "-";
  for (char c : display) name += c == '/' ? '_' : c;
  return dir / (name + ".lock");
}

std::optional<pid_t> runningIdleWatcher() {
  const fs::path file = idleWatcherLockFile();
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  // A lock that can be had is held by no one.
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    close(fd);
    return std::nullopt;
  }
  char buf[32] = {};
  const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
  close(fd);
  if (n <= 0) return std::nullopt;
  std::string text(buf, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  auto pid = parseInteger(text);
  if (!pid || *pid <= 1) return std::nullopt;
  return static_cast<pid_t>(*pid);
}

}  // namespace orbelune
