#pragma once
// The saver on an X server, through Xlib: the X11 host of a saver session.
//
// Does: XScreenSaver's windows (--root on $XSCREENSAVER_WINDOW or the virtual
// root, --window-id for its preview), a window of its own, and one full-screen
// window per RandR monitor that follows monitors as they come and go; frames
// through MIT-SHM (XPutImage without it) with only the damage sent; Xft.dpi as
// the scale; Expose, resize, unmap and full obscuring (no frames then).
// Does not: draw on visuals other than 24/32-bit TrueColor, grab input, or
// end on input (XScreenSaver does that for its hacks); q or Escape closes only
// a window of its own.
#include <X11/Xlib.h>

#include <ostream>

#include "session/saver_session.h"

namespace orbelune {

struct X11SaverOptions {
  enum class Placement {
    OwnWindow,    // a resizable window of its own
    Root,         // the window in `window`, else the virtual root (XScreenSaver's)
    GivenWindow,  // the window in `window`, as a preview
    Fullscreen,   // one full-screen window per monitor
  } placement = Placement::OwnWindow;
  Window window = 0;
  SessionOptions session;
};

// Runs the saver on the display in $DISPLAY until its window goes or it is
// closed; returns the exit status.
int runX11Saver(const X11SaverOptions& options, std::ostream& err);

}  // namespace orbelune
