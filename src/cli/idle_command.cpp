#include "cli/idle_command.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "base/number_text.h"
#include "bundle_info.h"
#include "cli/cli.h"
#include "cli/saver_options.h"
#include "host/termination.h"
#include "session/idle_activation.h"
#include "session/idle_options.h"
#include "store/screen_saver_defaults.h"
#include "x11/x11_idle.h"
#ifdef ORBELUNE_WAYLAND
#include "wayland/wayland_saver.h"
#endif

namespace orbelune {
namespace {

constexpr double kDefaultMinutes = 10.0;
constexpr double kShortest = 1.0, kLongest = 24.0 * 3600.0;

// The stored choice of the settings app, when there is a valid one.
std::optional<double> storedSeconds() {
  auto store = ScreenSaverDefaults::forModule(kBundleIdentifier);
  if (!store) return std::nullopt;
  auto v = store->storedValue(kStartAfterMinutesKey);
  if (!v) return std::nullopt;
  double minutes = 0.0;
  if (auto r = std::get_if<double>(&*v)) minutes = *r;
  else if (auto i = std::get_if<std::int64_t>(&*v)) minutes = static_cast<double>(*i);
  else return std::nullopt;
  const double seconds = minutes * 60.0;
  if (!(seconds >= kShortest && seconds <= kLongest)) return std::nullopt;
  return seconds;
}

// One watcher per session: a lock on a file named after the display, in the
// user's runtime folder. Returns the open lock (kept for the process's life),
// -1 when another watcher holds it (its process id in `holder`), -2 when no
// lock can be had (the watcher then watches all the same).
int takeSessionLock(std::string& holder) {
  const std::string file = idleWatcherLockFile().string();
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -2;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    if (auto pid = runningIdleWatcher()) holder = std::to_string(*pid);
    return -1;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    [[maybe_unused]] auto w = pwrite(fd, pid.data(), pid.size(), 0);
  }
  return fd;
}

}  // namespace

std::optional<double> parseDuration(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double unit = 60.0;  // a bare number is minutes
  std::string number = text;
  switch (text.back()) {
    case 's': unit = 1.0; number.pop_back(); break;
    case 'm': unit = 60.0; number.pop_back(); break;
    case 'h': unit = 3600.0; number.pop_back(); break;
    default: break;
  }
  auto v = parseNumber(number);
  if (!v) return std::nullopt;
  const double seconds = *v * unit;
  if (!(seconds >= kShortest && seconds <= kLongest)) return std::nullopt;
  return seconds;
}

void printIdleHelp(std::ostream& out) {
  out << "usage: orbelune idle [--after DURATION] [--verbose] [SETTINGS]\n"
         "\n"
         "Waits until the session has been idle for DURATION, shows the figure on every\n"
         "monitor, hides it on the first key, click or pointer movement, and waits again.\n"
         "Started at login by the settings app's \"Start the saver after\" switch.\n"
         "\n"
         "  --after DURATION  30s, 5m, 1h, or a bare number of minutes, from 1 second to\n"
         "                    24 hours (default: the settings app's choice, else 10 minutes)\n"
         "  --verbose         a line when the figure shows and when it hides\n"
         "\n"
         "The idle time comes from the compositor (ext-idle-notify-v1 or KDE's idle\n"
         "protocol: KWin, sway, Hyprland, niri, river), GNOME's Mutter (D-Bus), or the X\n"
         "server (MIT-SCREEN-SAVER). Where XScreenSaver's daemon runs, it steps aside.\n"
         "It inhibits nothing: the desktop's blanking and locking keep their schedule.\n"
         "One watcher runs per session; SIGTERM or SIGINT ends it with status 0.\n"
         "The saver's settings flags (orbelune --help) act on the figure it shows.\n";
}

int runIdleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  IdleOptions o;
  bool afterGiven = false;
  try {
    o.session.seed = findSeed(args);
    for (std::size_t i = 0; i < args.size(); ++i) {
      auto name = cli::flagName(args[i]);
      if (!name) throw cli::UsageError("unexpected argument " + cli::shown(args[i]));
      if (*name == "help" || *name == "h") {
        printIdleHelp(out);
        return 0;
      }
      if (std::size_t next = i; parseSaverOption(args, next, o.session.overrides, o.session.seed)) {
        i = next - 1;
      } else if (*name == "after") {
        if (i + 1 >= args.size()) throw cli::UsageError("--after needs a duration such as 30s, 5m or 1h");
        auto d = parseDuration(args[++i]);
        if (!d) {
          throw cli::UsageError("--after needs a duration from 1s to 24h such as 30s, 5m, 1h or a number of "
                                "minutes, not " + cli::shown(args[i]));
        }
        o.afterSeconds = *d;
        afterGiven = true;
      } else if (*name == "verbose") {
        o.verbose = true;
      } else {
        throw cli::UsageError("unknown flag " + cli::shown(args[i]) + " (see orbelune idle --help)");
      }
    }
  } catch (const cli::UsageError& e) {
    err << "orbelune idle: " << e.what() << "\n";
    return cli::kExitUsage;
  }
  if (!afterGiven) o.afterSeconds = storedSeconds().value_or(kDefaultMinutes * 60.0);

  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  const bool onWayland = wayland && *wayland;
  if (!onWayland && !(x11 && *x11)) {
    err << "orbelune idle: no display (neither WAYLAND_DISPLAY nor DISPLAY is set)\n";
    return 1;
  }
  std::string holder;
  if (takeSessionLock(holder) == -1) {
    out << "orbelune idle: already watching this session"
        << (holder.empty() ? std::string() : " (process " + holder + ")") << "\n";
    return 0;
  }
  // The watcher and any figure it shows end at once.
  endOnTerminationSignals();
  if (onWayland) {
#ifdef ORBELUNE_WAYLAND
    return runWaylandIdleWatcher(o, out, err);
#else
    err << "orbelune idle: this compositor offers no idle time to clients (neither ext-idle-notify-v1 nor KDE's "
           "idle protocol with the layer shell)\n";
    return 1;
#endif
  }
  return runX11IdleWatcher(o, out, err);
}

}  // namespace orbelune
