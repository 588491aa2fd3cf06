#include "cli/idle_command.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "activation/watcher_lock.h"
#include "base/number_text.h"
#include "bundle_info.h"
#include "cli/cli.h"
#include "cli/flag_table.h"
#include "cli/saver_options.h"
#include "host/termination.h"
#include "session/idle_options.h"
#include "settings/start_after.h"
#include "store/screen_saver_defaults.h"
#include "x11/x11_idle.h"
#ifdef ORBELUNE_WAYLAND
#include "wayland/wayland_saver.h"
#endif

namespace orbelune {
namespace {

// What the command line says: the options, and whether it chose the time.
struct IdleLine {
  IdleOptions options;
  bool afterGiven = false;
};

using IdleFlag = cli::Flag<IdleLine>;

constexpr IdleFlag kIdleFlags[] = {
    {"after", "DURATION", "a duration such as 30s, 5m or 1h",
     "30s, 5m, 1h, or a bare number of minutes, from 1 second to\n"
     "24 hours (default: the settings app's choice, else 10 minutes)",
     [](IdleLine& o, const std::string& v) {
       auto d = parseDuration(v);
       if (!d) {
         throw cli::UsageError("--after needs a duration from 1s to 24h such as 30s, 5m, 1h or a number of "
                               "minutes, not " + cli::shown(v));
       }
       o.options.afterSeconds = *d;
       o.afterGiven = true;
     }},
    {"verbose", nullptr, nullptr, "a line when the figure shows and when it hides",
     [](IdleLine& o, const std::string&) { o.options.verbose = true; }},
};

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
  if (!StartAfter::takes(seconds)) return std::nullopt;
  return seconds;
}

void printIdleHelp(std::ostream& out) {
  out << "usage: orbelune idle [--after DURATION] [--verbose] [SETTINGS]\n"
         "\n"
         "Waits until the session has been idle for DURATION, shows the figure on every\n"
         "monitor, hides it on the first key, click or pointer movement, and waits again.\n"
         "Started at login by the settings app's \"Start the saver after\" switch.\n"
         "\n";
  cli::printFlags<IdleLine>(out, kIdleFlags, 20);
  out << "\n"
         "The idle time comes from the compositor (ext-idle-notify-v1 or KDE's idle\n"
         "protocol: KWin, sway, Hyprland, niri, river), GNOME's Mutter (D-Bus), or the X\n"
         "server (MIT-SCREEN-SAVER). Where XScreenSaver's daemon runs, it steps aside.\n"
         "It inhibits nothing: the desktop's blanking and locking keep their schedule.\n"
         "One watcher runs per session; SIGTERM or SIGINT ends it with status 0.\n"
         "The saver's settings flags (orbelune --help) act on the figure it shows.\n";
}

int runIdleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (auto answered = cli::answerHelpOrVersion(args, out, printIdleHelp)) return *answered;
  IdleLine line;
  IdleOptions& o = line.options;
  try {
    o.session.seed = findSeed(args);
    cli::readFlags<IdleLine>(args, kIdleFlags, line, "orbelune idle --help",
                             settingFlags(o.session.overrides, o.session.seed));
  } catch (const cli::UsageError& e) {
    err << "orbelune idle: " << e.what() << "\n";
    return cli::kExitUsage;
  }
  const bool afterGiven = line.afterGiven;
  if (!afterGiven) {
    auto store = ScreenSaverDefaults::forModule(kBundleIdentifier);
    o.afterSeconds = StartAfter::secondsFrom(store.get());
  }

  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  const bool onWayland = wayland && *wayland;
  if (!onWayland && !(x11 && *x11)) {
    err << "orbelune idle: no display (neither WAYLAND_DISPLAY nor DISPLAY is set)\n";
    return 1;
  }
  // One watcher per session: without the lock none runs.
  auto lock = takeIdleWatcherLock();
  if (!lock) {
    err << "orbelune idle: " << lock.error().message << "\n";
    return 1;
  }
  if (!lock->held.valid()) {
    out << "orbelune idle: already watching this session"
        << (lock->holder ? " (process " + std::to_string(*lock->holder) + ")" : std::string()) << "\n";
    return 0;
  }
  // `lock` stays open, and so held, until the watcher returns or the process ends.
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
