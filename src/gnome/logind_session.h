#pragma once
// logind's word that the session should lock, over the system bus (GIO): the
// Lock signal of this session's object (`loginctl lock-session`), and the
// coming sleep (PrepareForSleep true on the manager). While awake it holds a
// delay inhibitor on sleep, so that a sleep waits (briefly) for the lock to
// be up: let go once the lock settles or after a few seconds, taken again on
// resume. Only signals whose sender is the unique name owning
// org.freedesktop.login1 count; another peer's are ignored.
// Does not: unlock on logind's Unlock signal (only the user's password ends a
// lock), or set the session's LockedHint.
#include <memory>

#include "base/result.h"
#include "host/session_locker.h"

namespace orbelune {

// Requests for this session: the session of XDG_SESSION_ID, else the one
// logind gives this process; or why there are none (no system bus, no
// logind, no session). A sleep inhibitor logind refuses is no failure: the
// lock before sleep then races the sleep.
Result<std::unique_ptr<LockRequests>> makeLogindLockRequests();

}  // namespace orbelune
