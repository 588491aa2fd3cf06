#pragma once
// The X11 lockers `orbelune lock` hands over to, grabbing nothing itself: a
// running XScreenSaver daemon (xscreensaver-command -lock; its unlock dialog
// shows over the running hack), else xsecurelock with Orbelune as its saver
// (saver_orbelune in its helper folder).
#include <optional>
#include <ostream>
#include <string>

namespace orbelune {

// The folder xsecurelock looks for its saver modules in.
inline constexpr const char* kXSecureLockHelperDir = "/usr/libexec/xsecurelock";

// Locks through a running XScreenSaver daemon and waits until it is unlocked;
// the exit status (0 once unlocked), or nullopt when no daemon answers.
std::optional<int> lockWithXScreenSaver(std::ostream& err);

// Runs xsecurelock with saver_orbelune as its saver (the one installed beside
// this program, else the one in xsecurelock's folder) until the user
// unlocks: its exit status (0 once unlocked), or nullopt when xsecurelock is
// not installed. `verbose` says locked and unlocked.
std::optional<int> lockWithXSecureLock(bool verbose, std::ostream& out, std::ostream& err);

}  // namespace orbelune
