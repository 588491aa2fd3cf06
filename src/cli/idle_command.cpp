#include "cli/idle_command.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "activation/watcher_lock.h"
#include "base/number_text.h"
#include "bundle_info.h"
#include "cli/cli.h"
#include "cli/flag_table.h"
#include "cli/saver_options.h"
#include "host/session_locker.h"
#include "host/termination.h"
#include "session/idle_options.h"
#include "settings/start_after.h"
#include "store/screen_saver_defaults.h"
#include "x11/x11_idle.h"
#ifdef ORBELUNE_WAYLAND
#include "gnome/logind_session.h"
#include "wayland/wayland_saver.h"
#endif

namespace orbelune {
namespace {

// What the command line says: the options, and whether it chose the time.
struct IdleLine {
  IdleOptions options;
  bool afterGiven = false;
  bool lockAfterGiven = false;
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
    {"lock-after", "DURATION", "a duration such as 30s, 5m or 1h, or 0",
     "lock the session (orbelune lock) that long after the figure\n"
     "showed, as --after takes it; 0: never (default: the settings\n"
     "app's choice, else never)",
     [](IdleLine& o, const std::string& v) {
       auto d = v == "0" ? std::optional<double>(0.0) : parseDuration(v);
       if (!d) {
         throw cli::UsageError("--lock-after needs 0 or a duration from 1s to 24h such as 30s, 5m, 1h or a number "
                               "of minutes, not " + cli::shown(v));
       }
       o.options.lockAfterSeconds = *d;
       o.lockAfterGiven = true;
     }},
    {"verbose", nullptr, nullptr, "a line when the figure shows and when it hides",
     [](IdleLine& o, const std::string&) { o.options.verbose = true; }},
};

// With locking chosen: `orbelune lock` (this very program, however it was
// started or replaced since) after the figure showed, and when logind asks.
std::unique_ptr<SessionLocker> makeLocker(const IdleOptions& o, std::ostream& err) {
  if (o.lockAfterSeconds <= 0.0) return nullptr;
  std::unique_ptr<LockRequests> requests;
#ifdef ORBELUNE_WAYLAND
  if (auto logind = makeLogindLockRequests()) {
    requests = std::move(*logind);
  } else {
    err << "orbelune idle: " << logind.error().message << "; the session locks after the figure only\n";
  }
#else
  (void)err;
#endif
  return std::make_unique<SessionLocker>("/proc/self/exe", std::vector<std::string>{"orbelune", "lock", "--verbose"},
                                         o.lockAfterSeconds, std::move(requests));
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
  if (!StartAfter::takes(seconds)) return std::nullopt;
  return seconds;
}

void printIdleHelp(std::ostream& out) {
  out << "usage: orbelune idle [--after DURATION] [--lock-after DURATION] [--verbose] [SETTINGS]\n"
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
         "It inhibits no idleness: the desktop's blanking and locking keep their schedule.\n"
         "With --lock-after (or the settings app's \"Lock the screen\" switch) it starts\n"
         "orbelune lock that long after the figure showed, one locker at a time, and also\n"
         "when logind asks (loginctl lock-session) and before the computer sleeps, which\n"
         "waits for the lock a few seconds at most (a delay inhibitor while awake).\n"
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
  if (!line.afterGiven || !line.lockAfterGiven) {
    auto store = ScreenSaverDefaults::forModule(kBundleIdentifier);
    if (!line.afterGiven) o.afterSeconds = StartAfter::secondsFrom(store.get());
    if (!line.lockAfterGiven) o.lockAfterSeconds = LockAfter::secondsFrom(store.get());
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
  auto locker = makeLocker(o, err);
  if (onWayland) {
#ifdef ORBELUNE_WAYLAND
    return runWaylandIdleWatcher(o, locker.get(), out, err);
#else
    err << "orbelune idle: this compositor offers no idle time to clients (neither ext-idle-notify-v1 nor KDE's "
           "idle protocol with the layer shell)\n";
    return 1;
#endif
  }
  return runX11IdleWatcher(o, locker.get(), out, err);
}

}  // namespace orbelune
