#pragma once
// `orbelune idle` on an X server without XScreenSaver's daemon: the X11 idle
// source.
//
// Does: reads the server's idle time from the MIT-SCREEN-SAVER extension
// (server_idle_source.h), shows the figure activated (x11_saver.h: one
// full-screen window per RandR monitor, input grabbed, ending on input) once
// it reaches the chosen time, and waits again, on one connection and one
// session throughout. Hides it too when the server's idle time drops while
// another client holds the keyboard or pointer (the input went there). Steps
// aside, with a line, when XScreenSaver's daemon runs on the display (its
// window carries _SCREENSAVER_VERSION).
// Does not: inhibit or reset the server's own screen saver and DPMS, or lock
// by itself (the locker it is given starts `orbelune lock`).
#include <ostream>

#include "host/session_locker.h"
#include "session/idle_options.h"

namespace orbelune {

// Runs until a signal ends it (or the server goes: status 1); returns the exit
// status. `locker`, when given, locks the session a while after the figure
// showed, or when asked.
int runX11IdleWatcher(const IdleOptions& options, SessionLocker* locker, std::ostream& out, std::ostream& err);

}  // namespace orbelune
