#pragma once
#include "host/input_rules.h"

namespace orbelune {

// Where the saver shows the figure, as the command line chose it; every host
// takes the placements its window system has.
enum class Placement {
  OwnWindow,    // a resizable window of its own (q or Escape closes it)
  Fullscreen,   // full screen: one window per monitor (X11), one full-screen window (Wayland)
  Root,         // XScreenSaver's window ($XSCREENSAVER_WINDOW), else the virtual root (X11)
  GivenWindow,  // the window given by id, as a preview (X11)
  Cover,        // above everything on every monitor, ending on input: the overlay layer
                // (Wayland), override-redirect windows with the input grabbed (X11)
  Background,   // the background layer of every output, taking no input (Wayland)
};

// How input is taken where the figure is placed: XScreenSaver's windows and
// the background take none (XScreenSaver ends its hacks itself).
inline InputRules::Mode inputModeFor(Placement placement) {
  switch (placement) {
    case Placement::OwnWindow:
    case Placement::Fullscreen:
      return InputRules::Mode::Window;
    case Placement::Cover:
      return InputRules::Mode::Cover;
    case Placement::Root:
    case Placement::GivenWindow:
    case Placement::Background:
      return InputRules::Mode::NoInput;
  }
  return InputRules::Mode::NoInput;
}

}  // namespace orbelune
