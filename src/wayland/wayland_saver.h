#pragma once
#include <ostream>

#include "settings/setting_overrides.h"

namespace orbelune {

struct WaylandSaverOptions {
  enum class Surface {
    Overlay,     // the overlay layer on every output, ending on input
    Background,  // the background layer, taking no input and never ending on it
                 // (for lock screens and as a wallpaper)
    Window,      // an xdg_toplevel window of its own (q or Escape quits)
    Fullscreen,  // the same, full screen
  } surface = Surface::Overlay;
  SettingOverrides overrides;
  bool fps = false;
  double scale = 0.0;  // 0: each output's own
};

// The saver on a Wayland compositor: with the layer-shell protocol one
// full-size surface and one view per output; as a window, one xdg_toplevel.
// Returns the exit status.
int runWaylandSaver(const WaylandSaverOptions& options, std::ostream& err);

// Whether this build has the Wayland host.
bool hasWaylandHost();

}  // namespace orbelune
