#pragma once
// The saver on a Wayland compositor: the Wayland host of a saver session.
//
// Does: with the wlr layer shell, one full-size overlay surface per output that
// ends on the first key, click or pointer travel (or, on the background layer,
// a surface that takes no input); without it, one xdg_toplevel window (q or
// Escape closes it), optionally full screen. Buffers in wl_shm, a pool of two
// per surface, drawn when the compositor asks for a frame at the session's
// interval, with the damage of the last two frames; each surface's scale:
// the compositor's preferred fractional scale where it offers
// wp_fractional_scale_v1 and wp_viewporter (a buffer of that many pixels shown
// through a viewport, lines and text at that scale), else the output's
// whole-number scale as the buffer scale;
// for `orbelune idle`, surfaces that come and go with the session's idleness
// (the compositor's idle protocol, or GNOME's over D-Bus with one full-screen
// xdg_toplevel per output);
// outputs that come and go. Protocol callbacks only record what changed; the
// loop acts on it.
// Does not: use GPU buffers, or lock the
// session (a lock screen is the compositor's or the locker's), or inhibit idle.
#include <ostream>

#include "host/placement.h"
#include "host/session_locker.h"
#include "session/idle_options.h"
#include "session/saver_session.h"

namespace orbelune {

struct WaylandSaverOptions {
  // Cover: the overlay layer on every output, ending on input; Background: the
  // background layer, taking no input and never ending on it (for lock
  // screens and as a wallpaper); OwnWindow: an xdg_toplevel window of its own
  // (q or Escape quits); Fullscreen: the same, full screen.
  Placement placement = Placement::Cover;
  SessionOptions session;  // scale 0: each output's own
};

// Runs the saver until input ends it, its window closes or the compositor goes;
// returns the exit status.
int runWaylandSaver(const WaylandSaverOptions& options, std::ostream& err);

// `orbelune idle` on a compositor with the layer shell and an idle protocol
// (ext-idle-notify-v1, else KDE's), else on GNOME's (Mutter's idle monitor on
// the session bus, one full-screen window per output), on one connection;
// where neither is offered it says so and returns 1. `locker`, when given,
// locks the session a while after the figure showed, or when asked.
int runWaylandIdleWatcher(const IdleOptions& options, SessionLocker* locker, std::ostream& out, std::ostream& err);

}  // namespace orbelune
