#pragma once
// The lock screen on a Wayland compositor with ext-session-lock-v1: a host of
// the host core, as the saver is. It locks the session, puts a lock surface
// with the figure on every output (outputs added later too) and the password
// prompt over it, and unlocks only when the authentication child accepted a
// password. Whatever else ends it (the compositor gone, a crash, a signal)
// leaves the session locked: the protocol keeps it so when the locker dies,
// and this host never destroys a lock it holds but by unlocking.
#include <ostream>

#include "lock/password_check.h"
#include "session/saver_session.h"

namespace orbelune {

struct WaylandLockOptions {
  SessionOptions session;  // the figure's run: the stored settings and the run's flags
  bool verbose = false;    // says "locked", "wrong password" and "unlocked"
};

// What a lock attempt came to.
enum class LockOutcome {
  Unlocked,     // the user unlocked: status 0
  Refused,      // the compositor would not lock (another locker holds it), said
  NoProtocol,   // the compositor has no ext-session-lock-v1 (nothing was locked)
  NoDisplay,    // no compositor to connect to
  Failed,       // locked and never unlocked: the session stays locked, said
};

LockOutcome runWaylandLock(const WaylandLockOptions& options, PasswordCheck& auth, std::ostream& out,
                           std::ostream& err);

}  // namespace orbelune
