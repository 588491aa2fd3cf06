#pragma once
// The X11 host of the core (host/host_core.h): windows for the views, X events
// translated into the core's, and the loop on the connection's descriptor.
#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <vector>

#include "host/host_core.h"
#include "x11/x11_frame.h"
#include "x11/x11_handles.h"
#include "x11/x11_targets.h"

namespace orbelune {

class ServerIdleSource;

// The Xlib error handlers of this program, set on a connection it opens:
// BadWindow and BadDrawable are recorded for the loop, and a lost connection
// ends the process with a line (Xlib cannot go on after it).
DisplayConnection openDisplay();

class X11Host {
 public:
  // `activated`: above every window, with the keyboard and pointer grabbed.
  X11Host(Display* display, HostCore& core, bool activated);
  ~X11Host();

  // A view on a window, or why there can be none; the caller says it.
  Result<void> addGivenWindow(Window window, bool preview);
  Result<void> addOwnWindow(int x, int y, int width, int height, bool fullscreen);
  // One full-screen view per monitor, following monitors as they come and go.
  Result<void> coverMonitors();
  // With `idle` (the core watching it): windows over the monitors while the
  // session is idle, none while not.
  void watchIdle(ServerIdleSource& idle) { idle_ = &idle; }
  // Until the core ends; its status.
  int run();

 private:
  struct Target {
    Window window = 0;
    std::optional<MonitorArea> monitor;  // the monitor a full-screen view covers
    CreatedWindow created;               // the window, when this program made it
    bool mapped = false;
    bool visible = true;
    std::unique_ptr<X11Frame> frame;
    std::unique_ptr<SessionView> view;
  };

  Result<void> attach(Window window, CreatedWindow created, bool preview);
  void handle(const XEvent& ev);
  void drainQueue();
  Target* find(Window w);
  void drawAll(double now);
  void followMonitors();
  // Takes every window away, and the grabs with them.
  void uncover();
  void applyIdleStep();
  // Activated: takes the keyboard and pointer once the windows are viewable.
  void grabInput();
  // Activated: whether the monitors are on (DPMS), looked at once a second.
  bool monitorsOn(double now);

  Display* display_;
  HostCore& core_;
  std::vector<Target> targets_;
  double scale_;  // the screen's (Xft.dpi)
  bool followsMonitors_ = false;
  bool monitorsGone_ = false;  // every monitor the figure covered went
  int randrEvent_ = -1;
  double nextMonitorCheck_ = 0.0;
  Atom wmDelete_ = 0;
  Colormap colormap_ = 0;  // of the 24-bit visual its own windows use, if not the default
  const bool activated_;
  bool grabbed_ = false;
  bool monitorsOn_ = true;
  double nextDpmsCheck_ = 0.0;
  bool framesOnScreen_ = false;  // a frame of this showing was presented
  ServerIdleSource* idle_ = nullptr;
};

}  // namespace orbelune
