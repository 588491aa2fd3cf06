#include "x11/x11_idle.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "x11/x11_handles.h"
#include "x11/x11_saver.h"
#include "x11/x11_targets.h"

namespace orbelune {
namespace {

int onIdleXIOError(Display*) {
  const char msg[] = "orbelune idle: lost the connection to the X server\n";
  [[maybe_unused]] auto n = write(2, msg, sizeof msg - 1);
  _exit(1);
}

// Whether XScreenSaver's daemon runs on the display: its window, a child of the
// root (the root itself in old versions), carries _SCREENSAVER_VERSION, which
// is how xscreensaver-command finds it too.
bool xscreensaverRuns(Display* display, Window root) {
  const Atom version = XInternAtom(display, "_SCREENSAVER_VERSION", False);
  auto marked = [&](Window w) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(display, w, version, 0, 64, False, XA_STRING, &type, &format, &items, &left,
                                        &data) == Success &&
                     type != None;
    if (data) XFree(data);
    return has;
  };
  if (marked(root)) return true;
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  bool found = false;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && !found; ++i) found = marked(children[i]);
    if (children) XFree(children);
  }
  return found;
}

// The longest the watcher sleeps between two looks at the idle time: a look
// also notices a server that went away.
constexpr double kLongestSleep = 5.0;

}  // namespace

int runX11IdleWatcher(const IdleOptions& options, std::ostream& out, std::ostream& err) {
  DisplayConnection connection(XOpenDisplay(nullptr));
  Display* display = connection.get();
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    err << "orbelune idle: cannot open display " << (name && *name ? name : "(DISPLAY is not set)") << "\n";
    return 1;
  }
  XSetIOErrorHandler(onIdleXIOError);
  const Window root = DefaultRootWindow(display);
  if (xscreensaverRuns(display, root)) {
    out << "orbelune idle: XScreenSaver's daemon runs on this display and starts savers itself; "
           "'orbelune xscreensaver-register' adds Orbelune to its list\n";
    return 0;
  }
  int event = 0, error = 0;
  if (!XScreenSaverQueryExtension(display, &event, &error)) {
    err << "orbelune idle: this X server has no MIT-SCREEN-SAVER extension to tell the idle time\n";
    return 1;
  }
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  if (!info) {
    err << "orbelune idle: out of memory\n";
    return 1;
  }
  for (;;) {
    if (!XScreenSaverQueryInfo(display, root, info)) {
      err << "orbelune idle: the X server did not tell the idle time\n";
      XFree(info);
      return 1;
    }
    const double idle = static_cast<double>(info->idle) / 1000.0;
    if (idle < options.afterSeconds) {
      // Until the idle time could reach the chosen time, at the latest.
      const double wait = std::min(options.afterSeconds - idle, kLongestSleep);
      poll(nullptr, 0, static_cast<int>(wait * 1000.0) + 1);
      continue;
    }
    // A daemon started after the watcher takes over from then on.
    if (xscreensaverRuns(display, root)) {
      out << "orbelune idle: XScreenSaver's daemon started on this display; leaving the saver to it" << std::endl;
      XFree(info);
      return 0;
    }
    const int monitors = static_cast<int>(monitorAreas(display, DefaultScreen(display)).size());
    if (options.verbose) {
      out << "orbelune idle: showing the figure on " << monitors << (monitors == 1 ? " monitor" : " monitors")
          << std::endl;
    }
    X11SaverOptions shown{X11SaverOptions::Placement::Activated, 0, options.session};
    const int status = runX11Saver(shown, err);
    XSetIOErrorHandler(onIdleXIOError);
    if (status != 0) {
      XFree(info);
      return status;
    }
    if (options.verbose) out << "orbelune idle: hidden on input" << std::endl;
  }
}

}  // namespace orbelune
