#pragma once
#include <ostream>

#include "host/saver_options.h"

namespace orbelune {

struct WaylandSaverOptions {
  // The background layer, taking no input and never ending on it (for lock
  // screens and as a wallpaper); otherwise the overlay layer, ending on input.
  bool background = false;
  SaverOverrides overrides;
  bool fps = false;
  double scale = 0.0;  // 0: each output's own
};

// The saver on a Wayland compositor with the layer-shell protocol: one
// full-size surface and one view per output. Returns the exit status.
int runWaylandSaver(const WaylandSaverOptions& options, std::ostream& err);

// Whether this build has the Wayland host.
bool hasWaylandHost();

}  // namespace orbelune
