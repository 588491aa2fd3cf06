#include "x11/x11_idle.h"

#include <cstdlib>

#include "host/placement.h"
#include "x11/server_idle_source.h"
#include "x11/x11_host.h"

namespace orbelune {

int runX11IdleWatcher(const IdleOptions& options, SessionLocker* locker, std::ostream& out, std::ostream& err) {
  DisplayConnection connection = openDisplay();
  Display* display = connection.get();
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    err << "orbelune idle: cannot open display " << (name && *name ? name : "(DISPLAY is not set)") << "\n";
    return 1;
  }
  if (xscreensaverRuns(display)) {
    out << "orbelune idle: XScreenSaver's daemon runs on this display and starts savers itself; "
           "'orbelune xscreensaver-register' adds Orbelune to its list\n";
    return 0;
  }
  // One connection and one session for every showing: the figure's windows
  // come and go, the session's clock and shuffle go on.
  HostCore core("orbelune idle", options.session, inputModeFor(Placement::Cover), err);
  auto source = ServerIdleSource::open(display, options.afterSeconds, core, out);
  if (!source) {
    core.fail(source.error());
    return core.status();
  }
  core.watchIdle(**source, options.verbose ? &out : nullptr);
  // The figure holds the keyboard and pointer: xsecurelock, the locker here,
  // needs them, so the figure goes as it starts.
  if (locker) core.lockAfterIdle(*locker, true);
  X11Host host(display, core, true);
  host.watchIdle(**source);
  return host.run();
}

}  // namespace orbelune
