#pragma once
// The saver on an X server, through Xlib: the X11 host of a saver session.
//
// Does: XScreenSaver's windows (--root on $XSCREENSAVER_WINDOW or the virtual
// root, --window-id for its preview), a window of its own, and one full-screen
// window per RandR monitor that follows monitors as they come and go; frames
// through MIT-SHM (XPutImage without it) with only the damage sent; Xft.dpi as
// the scale; Expose, resize, unmap and full obscuring (no frames then).
// Activated (by `orbelune idle`), it also grabs the keyboard and pointer, so
// that the waking key or click reaches no application, and ends on input.
// Does not: draw on visuals other than 24/32-bit TrueColor, or end on input
// in XScreenSaver's windows (XScreenSaver does that for its hacks); q or
// Escape closes a window of its own.
#include <X11/Xlib.h>

#include <ostream>

#include "host/placement.h"
#include "session/saver_session.h"

namespace orbelune {

struct X11SaverOptions {
  // OwnWindow, Fullscreen, Root (the window in `window`, else the virtual
  // root), GivenWindow (the window in `window`), or Cover: one full-screen
  // window per monitor above every window, input grabbed, ending on the first
  // key, click or pointer travel, nothing drawn while the monitors are off
  // (DPMS).
  Placement placement = Placement::OwnWindow;
  Window window = 0;
  SessionOptions session;
};

// Runs the saver on the display in $DISPLAY until its window goes or it is
// closed; returns the exit status.
int runX11Saver(const X11SaverOptions& options, std::ostream& err);

}  // namespace orbelune
