#include "x11/x11_saver.h"

#include <cstdlib>

#include "x11/x11_host.h"

namespace orbelune {

int runX11Saver(const X11SaverOptions& options, std::ostream& err) {
  DisplayConnection connection = openDisplay();
  Display* display = connection.get();
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    err << "orbelune: cannot open display " << (name && *name ? name : "(DISPLAY is not set)")
        << "; for a headless run use 'orbelune render'\n";
    return 1;
  }
  HostCore core("orbelune", options.session, inputModeFor(options.placement), err);
  X11Host host(display, core, options.placement == Placement::Cover);
  Result<void> placed;
  switch (options.placement) {
    case Placement::GivenWindow:
      placed = host.addGivenWindow(options.window, true);
      break;
    case Placement::Root:
      // XScreenSaver's window is the real screen: only --window-id is a preview.
      placed = host.addGivenWindow(options.window ? options.window : virtualRootWindow(display, DefaultScreen(display)),
                                   false);
      break;
    case Placement::Fullscreen:
    case Placement::Cover:
      placed = host.coverMonitors();
      break;
    case Placement::OwnWindow:
      placed = host.addOwnWindow(0, 0, 960, 540, false);
      break;
    case Placement::Background:
      placed = Error{"the background placement is Wayland's"};
      break;
  }
  if (!placed) core.fail(placed.error());
  return core.ended() ? core.status() : host.run();
}

}  // namespace orbelune
