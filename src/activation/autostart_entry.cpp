#include "activation/autostart_entry.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "activation/desktop_exec.h"
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
  auto exec = desktopExecArgument(program.string());
  if (!exec) return exec.error();
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return Error{"cannot create " + file.parent_path().string() + ": " + ec.message()};
  const std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Orbelune idle watcher\n"
      "Comment=Shows the Orbelune figure whenever the session goes idle\n"
      "Exec=" + *exec + " idle\n"
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

}  // namespace orbelune
