#include "cli/lock_command.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cli/cli.h"
#include "cli/saver_options.h"
#include "cli/x11_lockers.h"
#include "lock/password_check.h"
#include "lock/pam_verifier.h"
#include "lock/process_guard.h"
#ifdef ORBELUNE_WAYLAND
#include "gnome/desktop_lock.h"
#include "wayland/wayland_locker.h"
#endif

namespace orbelune {
namespace {

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

#ifdef ORBELUNE_WAYLAND
// GNOME's and KDE's shells lock with their own screens.
std::optional<int> lockDesktop(bool verbose, std::ostream& out, std::ostream& err) {
  std::string which;
  switch (lockThroughDesktop(which, err)) {
    case DesktopLock::Unavailable:
      return std::nullopt;
    case DesktopLock::Failed:
      return 1;
    case DesktopLock::Unlocked:
      break;
  }
  if (verbose) out << "orbelune lock: unlocked" << std::endl;
  return 0;
}
#endif

}  // namespace

void printLockHelp(std::ostream& out) {
  out << "usage: orbelune lock [--verbose] [SETTINGS]\n"
         "\n"
         "Locks the session with the figure on every monitor and a password prompt over\n"
         "it (PAM service \"orbelune\", /etc/pam.d/orbelune), for the user who runs it.\n"
         "\n"
         "  --verbose  a line when the session is locked, when a password is refused and\n"
         "             when it is unlocked (never anything of the password)\n"
         "\n"
         "Wayland compositors with ext-session-lock-v1 (sway, labwc, Hyprland, niri,\n"
         "river, COSMIC): Orbelune is the locker; should it die, the session stays\n"
         "locked and `orbelune lock` started again takes over. X11: it hands over to a\n"
         "running XScreenSaver daemon, else to xsecurelock with the saver_orbelune\n"
         "module, and grabs nothing itself. GNOME and KDE: it asks the desktop to lock;\n"
         "the figure does not show under their lock screens.\n"
         "Exit status: 0 once unlocked, 1 when the session could not be locked.\n"
         "The saver's settings flags (orbelune --help) act on the figure it shows.\n";
}

int runLockCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // Before anything else: no core file, no tracing, no setuid.
  std::string error;
  if (!guardLockerProcess(error)) {
    err << "orbelune lock: " << error << "\n";
    return 1;
  }
  bool verbose = false;
  SessionOptions session;
  try {
    session.seed = findSeed(args);
    for (std::size_t i = 0; i < args.size(); ++i) {
      auto name = cli::flagName(args[i]);
      if (!name) throw cli::UsageError("unexpected argument " + cli::shown(args[i]));
      if (*name == "help" || *name == "h") {
        printLockHelp(out);
        return 0;
      }
      if (std::size_t next = i; parseSaverOption(args, next, session.overrides, session.seed)) {
        i = next - 1;
      } else if (*name == "verbose") {
        verbose = true;
      } else {
        throw cli::UsageError("unknown flag " + cli::shown(args[i]) + " (see orbelune lock --help)");
      }
    }
  } catch (const cli::UsageError& e) {
    err << "orbelune lock: " << e.what() << "\n";
    return cli::kExitUsage;
  }

#ifdef ORBELUNE_WAYLAND
  if (isSet("WAYLAND_DISPLAY")) {
    // The user's name now, while the directory service answers: a lookup in
    // the check's process later could fail (the network gone), and every
    // password with it. Without a name no password could unlock: no lock.
    const std::string user = currentUserName();
    if (user.empty()) {
      err << "orbelune lock: the user database has no entry for uid " << getuid()
          << ", so no password could unlock; not locking\n";
      return 1;
    }
    // The password check's process first, before any connection exists.
    MonotonicClock clock;
    auto auth = std::make_unique<PasswordCheck>([user] { return makePamVerifier(user); }, clock);
    if (!auth->start(error)) {
      err << "orbelune lock: " << error << "\n";
      return 1;
    }
    switch (runWaylandLock({session, verbose}, *auth, out, err)) {
      case LockOutcome::Unlocked:
        return 0;
      case LockOutcome::Refused:
      case LockOutcome::Failed:
      case LockOutcome::NoDisplay:
        return 1;
      case LockOutcome::NoProtocol:
        break;
    }
    auth.reset();
    if (auto status = lockDesktop(verbose, out, err)) return *status;
    err << "orbelune lock: this compositor offers no session lock (ext-session-lock-v1), and no desktop lock "
           "answers on the session bus\n";
    return 1;
  }
#endif
  if (!isSet("DISPLAY")) {
    err << "orbelune lock: no display (neither WAYLAND_DISPLAY nor DISPLAY is set)\n";
    return 1;
  }
#ifdef ORBELUNE_WAYLAND
  // GNOME and KDE on X11 lock with their own screens too.
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string current = desktop ? desktop : "";
  if (current.find("GNOME") != std::string::npos || current.find("KDE") != std::string::npos) {
    if (auto status = lockDesktop(verbose, out, err)) return *status;
  }
#endif
  if (auto status = lockWithXScreenSaver(err)) {
    if (verbose && *status == 0) out << "orbelune lock: unlocked" << std::endl;
    return *status;
  }
  if (auto status = lockWithXSecureLock(verbose, out, err)) return *status;
  err << "orbelune lock: on X11 it locks through XScreenSaver's daemon or xsecurelock, and neither is here\n";
  return 1;
}

}  // namespace orbelune
