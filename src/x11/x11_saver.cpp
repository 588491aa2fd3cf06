#include "x11/x11_saver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "bundle_info.h"
#include "store/screen_saver_defaults.h"
#include "x11/x11_frame.h"
#include "x11/x11_handles.h"
#include "x11/x11_targets.h"

namespace orbelune {
namespace {

// X failures land here; the loop reads them between frames.
Window g_badWindow = 0;

int onXError(Display*, XErrorEvent* e) {
  if (e->error_code == BadWindow || e->error_code == BadDrawable) g_badWindow = e->resourceid;
  return 0;
}

int onXIOError(Display*) {
  // Xlib cannot go on after this returns: leave at once, with a message.
  const char msg[] = "orbelune: lost the connection to the X server\n";
  [[maybe_unused]] auto n = write(2, msg, sizeof msg - 1);
  _exit(1);
}

// Pointer travel (pixels) that counts as the user's when activated.
constexpr double kMotionThreshold = 10.0;

struct Target {
  Window window = 0;
  std::optional<MonitorArea> monitor;  // the monitor a full-screen view covers
  CreatedWindow created;  // the window, when this program made it
  bool mapped = false;
  bool visible = true;
  std::unique_ptr<X11Frame> frame;
  std::unique_ptr<SessionView> view;
};

class SaverHost {
 public:
  SaverHost(Display* display, std::ostream& err, const SessionOptions& options, bool activated)
      : display_(display), err_(err), session_(options, nullptr, ScreenSaverDefaults::forModule(kBundleIdentifier)), scale_(screenScale(display)), activated_(activated) {}
  ~SaverHost();

  bool addGivenWindow(Window window, bool preview);
  bool addOwnWindow(int x, int y, int width, int height, bool fullscreen);
  // One full-screen view per monitor, following monitors as they come and go.
  bool coverMonitors();
  int run();

 private:
  bool attach(Window window, CreatedWindow created, bool preview);
  void handle(const XEvent& ev);
  Target* find(Window w);
  void draw(Target& t);
  void followMonitors();
  // Activated: takes the keyboard and pointer once the windows are viewable.
  void grabInput();
  // Activated: whether the monitors are on (DPMS), looked at once a second.
  bool monitorsOn(double now);

  Display* display_;
  std::ostream& err_;
  std::vector<Target> targets_;
  SaverSession session_;
  double scale_;  // the screen's (Xft.dpi)
  bool followsMonitors_ = false;
  int randrEvent_ = -1;
  double nextMonitorCheck_ = 0.0;
  Atom wmDelete_ = 0;
  Colormap colormap_ = 0;  // of the 24-bit visual its own windows use, if not the default
  const bool activated_;
  bool grabbed_ = false;
  std::optional<std::pair<int, int>> pointerStart_;  // where the pointer was first seen
  bool monitorsOn_ = true;
  double nextDpmsCheck_ = 0.0;
  bool quit_ = false;
  int status_ = 0;
};

SaverHost::~SaverHost() {
  for (auto& t : targets_) {
    if (t.view) t.view->view().stopAnimation();
  }
  targets_.clear();  // the windows, before their colour map
  if (colormap_) XFreeColormap(display_, colormap_);
}

Target* SaverHost::find(Window w) {
  for (auto& t : targets_) {
    if (t.window == w) return &t;
  }
  return nullptr;
}

bool SaverHost::attach(Window window, CreatedWindow created, bool preview) {
  XWindowAttributes attrs;
  XSync(display_, False);
  if (!XGetWindowAttributes(display_, window, &attrs) || g_badWindow == window) {
    err_ << "orbelune: window 0x" << std::hex << window << std::dec << " does not exist\n";
    return false;
  }
  if (!X11Frame::canDrawOn(attrs.visual, attrs.depth)) {
    err_ << "orbelune: window 0x" << std::hex << window << std::dec << " has a depth-" << attrs.depth
         << " visual this saver cannot draw on (it needs TrueColor)\n";
    return false;
  }
  Target t;
  t.window = window;
  t.created = std::move(created);
  t.mapped = attrs.map_state == IsViewable;
  t.frame = std::make_unique<X11Frame>(display_, window, attrs.visual, attrs.depth);
  if (auto sized = t.frame->resize(attrs.width, attrs.height); !sized) {
    err_ << "orbelune: " << sized.error().message << "\n";
    return false;
  }
  t.view = session_.makeView(Size{static_cast<double>(attrs.width), static_cast<double>(attrs.height)}, preview,
                             scale_);
  for (const auto& warning : session_.takeStoreWarnings()) err_ << "orbelune: warning: " << warning << "\n";
  if (!t.view) {
    err_ << "orbelune: cannot create the view\n";
    return false;
  }
  targets_.push_back(std::move(t));
  return true;
}

bool SaverHost::addGivenWindow(Window window, bool preview) {
  // A window another client owns: select only what any number of clients may
  // select (button presses, for one, can only be selected by one client).
  XSelectInput(display_, window, StructureNotifyMask | ExposureMask);
  return attach(window, CreatedWindow(), preview);
}

bool SaverHost::addOwnWindow(int x, int y, int width, int height, bool fullscreen) {
  const int screen = DefaultScreen(display_);
  Window root = RootWindow(display_, screen);
  XSetWindowAttributes sa{};
  sa.background_pixel = BlackPixel(display_, screen);
  sa.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask | VisibilityChangeMask;
  unsigned long mask = CWBackPixel | CWEventMask;
  // On a screen of another default (16 or 30 bits), a 24-bit TrueColor visual
  // where the server has one: its pixels are Cairo's own, nothing to convert.
  Visual* visual = DefaultVisual(display_, screen);
  int depth = DefaultDepth(display_, screen);
  XVisualInfo info{};
  if (!X11Frame::visualMatchesCairo(display_, visual, depth) &&
      XMatchVisualInfo(display_, screen, 24, TrueColor, &info) &&
      X11Frame::visualMatchesCairo(display_, info.visual, info.depth)) {
    if (!colormap_) colormap_ = XCreateColormap(display_, root, info.visual, AllocNone);
    visual = info.visual;
    depth = info.depth;
    sa.colormap = colormap_;
    sa.border_pixel = 0;
    sa.background_pixel = 0;
    mask |= CWColormap | CWBorderPixel;
  }
  if (activated_) {
    // Above every window, with no window manager between it and the input.
    sa.override_redirect = True;
    sa.event_mask |= ButtonPressMask | PointerMotionMask;
    mask |= CWOverrideRedirect;
  }
  CreatedWindow created(display_, XCreateWindow(display_, root, x, y, static_cast<unsigned>(width),
                                                static_cast<unsigned>(height), 0, depth, InputOutput, visual, mask,
                                                &sa));
  const Window w = created.get();
  XStoreName(display_, w, "Orbelune");
  XClassHint hint{const_cast<char*>("orbelune"), const_cast<char*>("Orbelune")};
  XSetClassHint(display_, w, &hint);
  wmDelete_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, w, &wmDelete_, 1);
  long pid = getpid();
  XChangeProperty(display_, w, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  if (fullscreen) {
    Atom state = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(display_, w, XInternAtom(display_, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&state), 1);
  }
  XSizeHints size{};
  size.flags = USPosition | USSize;
  XSetWMNormalHints(display_, w, &size);
  XMapWindow(display_, w);
  return attach(w, std::move(created), false);
}

bool SaverHost::coverMonitors() {
  const int screen = DefaultScreen(display_);
  int error = 0;
  if (XRRQueryExtension(display_, &randrEvent_, &error)) {
    XRRSelectInput(display_, RootWindow(display_, screen),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  } else {
    randrEvent_ = -1;
  }
  followsMonitors_ = true;
  for (const auto& m : monitorAreas(display_, screen)) {
    if (!addOwnWindow(m.x, m.y, m.width, m.height, true)) return false;
    targets_.back().monitor = m;
  }
  return true;
}

// Monitors added get a view, monitors removed lose theirs, and a monitor whose
// size or place changed has its window moved and resized (the view follows
// the window's ConfigureNotify): nothing restarts.
void SaverHost::followMonitors() {
  const auto now = monitorAreas(display_, DefaultScreen(display_));
  for (std::size_t i = 0; i < targets_.size();) {
    Target& t = targets_[i];
    if (!t.monitor) {
      ++i;
      continue;
    }
    auto same = std::find_if(now.begin(), now.end(), [&](const MonitorArea& m) {
      return t.monitor->name ? m.name == t.monitor->name : m == *t.monitor;
    });
    if (same == now.end()) {
      targets_.erase(targets_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (!(*same == *t.monitor)) {
      XMoveResizeWindow(display_, t.window, same->x, same->y, static_cast<unsigned>(same->width),
                        static_cast<unsigned>(same->height));
      t.monitor = *same;
    }
    ++i;
  }
  for (const auto& m : now) {
    const bool covered = std::any_of(targets_.begin(), targets_.end(), [&](const Target& t) {
      return t.monitor && (t.monitor->name ? t.monitor->name == m.name : *t.monitor == m);
    });
    if (covered || !addOwnWindow(m.x, m.y, m.width, m.height, true)) continue;
    targets_.back().monitor = m;
  }
  if (targets_.empty()) quit_ = true;  // no monitor left to cover
}

void SaverHost::draw(Target& t) {
  if (t.view->drawFrame(t.frame->graphics()) == DrawOutcome::Drawn) t.frame->present();
}

void SaverHost::handle(const XEvent& ev) {
  if (followsMonitors_ && randrEvent_ >= 0 && ev.type >= randrEvent_ && ev.type <= randrEvent_ + RRNotify) {
    XRRUpdateConfiguration(const_cast<XEvent*>(&ev));
    followMonitors();
    return;
  }
  Target* t = find(ev.xany.window);
  if (!t || (t->frame && t->frame->takeEvent(ev))) return;
  switch (ev.type) {
    case ConfigureNotify:
      if (ev.xconfigure.width != t->frame->width() || ev.xconfigure.height != t->frame->height()) {
        if (auto sized = t->frame->resize(ev.xconfigure.width, ev.xconfigure.height); !sized) {
          err_ << "orbelune: " << sized.error().message << "\n";
          status_ = 1;
          quit_ = true;
          return;
        }
        // The bounds the next frame reads.
        t->view->resize(Size{static_cast<double>(ev.xconfigure.width), static_cast<double>(ev.xconfigure.height)});
      }
      break;
    case Expose:
      if (ev.xexpose.count == 0) {
        t->frame->presentAll();
        XFlush(display_);
      }
      break;
    case MapNotify:
      t->mapped = true;
      break;
    case UnmapNotify:
      t->mapped = false;
      break;
    case VisibilityNotify:
      t->visible = ev.xvisibility.state != VisibilityFullyObscured;
      break;
    case DestroyNotify:
      if (ev.xdestroywindow.window == t->window) {
        err_ << "orbelune: window 0x" << std::hex << t->window << std::dec << " was destroyed\n";
        t->created.forget();  // gone already
        targets_.erase(targets_.begin() + (t - targets_.data()));
        if (targets_.empty()) {
          status_ = 1;
          quit_ = true;
        }
      }
      break;
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == wmDelete_) quit_ = true;
      break;
    case KeyPress: {
      KeySym sym = XLookupKeysym(const_cast<XKeyEvent*>(&ev.xkey), 0);
      if (activated_ || sym == XK_q || sym == XK_Q || sym == XK_Escape) quit_ = true;
      break;
    }
    case ButtonPress:
      if (activated_) quit_ = true;
      break;
    case MotionNotify: {
      // Pointer travel ends it; a trembling mouse does not.
      const int x = ev.xmotion.x_root, y = ev.xmotion.y_root;
      if (!pointerStart_) pointerStart_ = std::make_pair(x, y);
      if (std::hypot(x - pointerStart_->first, y - pointerStart_->second) > kMotionThreshold) quit_ = true;
      break;
    }
    default:
      break;
  }
}

void SaverHost::grabInput() {
  for (const auto& t : targets_) {
    if (!t.mapped) return;  // a grab needs a viewable window
  }
  const Window w = targets_.front().window;
  // Travel counts from where the pointer is now.
  Window rootReturn = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned int buttons = 0;
  if (XQueryPointer(display_, w, &rootReturn, &child, &rootX, &rootY, &x, &y, &buttons)) {
    pointerStart_ = std::make_pair(rootX, rootY);
  }
  // An invisible pointer while the figure shows.
  static const char empty[1] = {0};
  Pixmap blank = XCreateBitmapFromData(display_, w, empty, 1, 1);
  XColor black{};
  Cursor none = XCreatePixmapCursor(display_, blank, blank, &black, &black, 0, 0);
  XFreePixmap(display_, blank);
  const bool keyboard = XGrabKeyboard(display_, w, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
  const bool pointer = XGrabPointer(display_, w, False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                                    GrabModeAsync, None, none, CurrentTime) == GrabSuccess;
  XFreeCursor(display_, none);
  // Another client may hold a grab for a moment (a menu open): try again next frame.
  grabbed_ = keyboard && pointer;
  if (!grabbed_) {
    XUngrabKeyboard(display_, CurrentTime);
    XUngrabPointer(display_, CurrentTime);
  }
}

bool SaverHost::monitorsOn(double now) {
  if (!activated_ || now < nextDpmsCheck_) return monitorsOn_;
  nextDpmsCheck_ = now + 1.0;
  int event = 0, error = 0;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  monitorsOn_ = !(DPMSQueryExtension(display_, &event, &error) && DPMSInfo(display_, &level, &enabled) && enabled &&
                  level != DPMSModeOn);
  return monitorsOn_;
}

int SaverHost::run() {
  if (targets_.empty()) return 1;
  const int xfd = ConnectionNumber(display_);
  MonotonicClock clock;
  FramePacer pacer(session_.interval(), clock.now());
  while (!quit_) {
    // One flush and one read of what has arrived (the frame's completion,
    // mostly), then the queue as it stands: asking XPending until it says no
    // costs a failed read a time, and later events wait for the next wake-up.
    for (int queued = XEventsQueued(display_, QueuedAfterFlush); queued > 0 && !quit_; --queued) {
      XEvent ev;
      XNextEvent(display_, &ev);
      handle(ev);
    }
    if (g_badWindow) {
      err_ << "orbelune: window 0x" << std::hex << g_badWindow << std::dec << " is gone\n";
      status_ = 1;
      break;
    }
    if (quit_) break;
    double now = clock.now();
    // Not every change of the monitors is announced (a monitor set by hand
    // with xrandr --setmonitor, say): look again every two seconds too.
    if (followsMonitors_ && now >= nextMonitorCheck_) {
      nextMonitorCheck_ = now + 2.0;
      followMonitors();
      if (quit_) break;
    }
    if (activated_ && !grabbed_) grabInput();
    if (pacer.due(now)) {
      const bool on = monitorsOn(now);
      for (auto& t : targets_) {
        if (t.mapped && t.visible && on) draw(t);
      }
      XFlush(display_);
      now = clock.now();
      pacer.advance(now);
    }
    // While drawing, events wait for the next frame (at most one interval)
    // instead of waking the saver on their own: the server's word that it has
    // read a frame comes every frame, and each wake-up costs as much again.
    // With nothing to draw, events are what the saver waits for.
    bool drawing = false;
    for (const auto& t : targets_) drawing = drawing || (t.mapped && t.visible && monitorsOn_);
    // Activated, input is what ends it: wait on it too.
    if (activated_) drawing = false;
    // Events Xlib read meanwhile (a flush reads too, and the frame's
    // completion is often there by then) are in its queue, not on the
    // socket: they are handled before anything is waited for.
    while (!quit_ && XQLength(display_) > 0) {
      XEvent ev;
      XNextEvent(display_, &ev);
      handle(ev);
    }
    if (quit_ || g_badWindow) continue;
    pollfd fd{drawing ? -1 : xfd, POLLIN, 0};
    poll(&fd, 1, pacer.timeoutMs(now));
  }
  return status_;
}


}  // namespace

int runX11Saver(const X11SaverOptions& options, std::ostream& err) {
  DisplayConnection connection(XOpenDisplay(nullptr));
  Display* display = connection.get();
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    err << "orbelune: cannot open display " << (name && *name ? name : "(DISPLAY is not set)")
        << "; for a headless run use 'orbelune render'\n";
    return 1;
  }
  XSetErrorHandler(onXError);
  XSetIOErrorHandler(onXIOError);

  using Placement = X11SaverOptions::Placement;
  SaverHost host(display, err, options.session, options.placement == Placement::Activated);
  bool ok = true;
  switch (options.placement) {
    case Placement::GivenWindow:
      ok = host.addGivenWindow(options.window, true);
      break;
    case Placement::Root:
      // XScreenSaver's window is the real screen: only --window-id is a preview.
      ok = host.addGivenWindow(options.window ? options.window : virtualRootWindow(display, DefaultScreen(display)),
                               false);
      break;
    case Placement::Fullscreen:
    case Placement::Activated:
      ok = host.coverMonitors();
      break;
    case Placement::OwnWindow:
      ok = host.addOwnWindow(0, 0, 960, 540, false);
      break;
  }
  return ok ? host.run() : 1;
}

}  // namespace orbelune
