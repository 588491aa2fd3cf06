#include "x11/x11_host.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "x11/server_idle_source.h"

namespace orbelune {
namespace {

// X failures land here (Xlib's handlers are process-wide); the loop reads
// them between frames.
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

std::string windowName(Window w) {
  std::ostringstream s;
  s << "window 0x" << std::hex << w;
  return s.str();
}

HostEvent::Key keyOf(const XKeyEvent& key) {
  const KeySym sym = XLookupKeysym(const_cast<XKeyEvent*>(&key), 0);
  if (sym == XK_q || sym == XK_Q) return HostEvent::Key::Q;
  if (sym == XK_Escape) return HostEvent::Key::Escape;
  return HostEvent::Key::Other;
}

}  // namespace

DisplayConnection openDisplay() {
  DisplayConnection connection(XOpenDisplay(nullptr));
  if (connection) {
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
  }
  return connection;
}

X11Host::X11Host(Display* display, HostCore& core, bool activated)
    : display_(display), core_(core), scale_(screenScale(display)), activated_(activated) {}

X11Host::~X11Host() {
  uncover();
  if (colormap_) XFreeColormap(display_, colormap_);
}

X11Host::Target* X11Host::find(Window w) {
  for (auto& t : targets_) {
    if (t.window == w) return &t;
  }
  return nullptr;
}

Result<void> X11Host::attach(Window window, CreatedWindow created, bool preview) {
  XWindowAttributes attrs;
  XSync(display_, False);
  if (!XGetWindowAttributes(display_, window, &attrs) || g_badWindow == window) {
    return Error{windowName(window) + " does not exist"};
  }
  if (!X11Frame::canDrawOn(attrs.visual, attrs.depth)) {
    return Error{windowName(window) + " has a depth-" + std::to_string(attrs.depth) +
                 " visual this saver cannot draw on (it needs TrueColor)"};
  }
  Target t;
  t.window = window;
  t.created = std::move(created);
  t.mapped = attrs.map_state == IsViewable;
  t.frame = std::make_unique<X11Frame>(display_, window, attrs.visual, attrs.depth);
  if (auto sized = t.frame->resize(attrs.width, attrs.height); !sized) return sized;
  auto view = core_.makeView(Size{static_cast<double>(attrs.width), static_cast<double>(attrs.height)}, preview, scale_);
  if (!view) return view.error();
  t.view = std::move(*view);
  targets_.push_back(std::move(t));
  return {};
}

Result<void> X11Host::addGivenWindow(Window window, bool preview) {
  // A window another client owns: select only what any number of clients may
  // select (button presses, for one, can only be selected by one client).
  XSelectInput(display_, window, StructureNotifyMask | ExposureMask);
  return attach(window, CreatedWindow(), preview);
}

Result<void> X11Host::addOwnWindow(int x, int y, int width, int height, bool fullscreen) {
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

Result<void> X11Host::coverMonitors() {
  const int screen = DefaultScreen(display_);
  int error = 0;
  if (!followsMonitors_) {
    if (XRRQueryExtension(display_, &randrEvent_, &error)) {
      XRRSelectInput(display_, RootWindow(display_, screen),
                     RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
      randrEvent_ = -1;
    }
    followsMonitors_ = true;
  }
  for (const auto& m : monitorAreas(display_, screen)) {
    if (auto added = addOwnWindow(m.x, m.y, m.width, m.height, true); !added) return added;
    targets_.back().monitor = m;
  }
  return {};
}

// Monitors added get a view, monitors removed lose theirs, and a monitor whose
// size or place changed has its window moved and resized (the view follows
// the window's ConfigureNotify): nothing restarts.
void X11Host::followMonitors() {
  if (!core_.showing()) return;
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
    if (covered) continue;
    if (auto added = addOwnWindow(m.x, m.y, m.width, m.height, true); !added) return core_.fail(added.error());
    targets_.back().monitor = m;
  }
  if (targets_.empty()) {
    // No monitor left to cover: that ends a run, or this showing.
    if (core_.watchesIdle()) {
      monitorsGone_ = true;
    } else {
      core_.end(0);
    }
  }
}

void X11Host::uncover() {
  for (auto& t : targets_) {
    if (t.view) t.view->view().stopAnimation();
  }
  targets_.clear();  // the windows, before their colour map
  if (grabbed_) {
    XUngrabKeyboard(display_, CurrentTime);
    XUngrabPointer(display_, CurrentTime);
    grabbed_ = false;
  }
  XFlush(display_);
}

void X11Host::applyIdleStep() {
  if (!idle_) return;
  idle_->hostSeesInput(grabbed_);
  switch (core_.idleStep(monitorsGone_)) {
    case IdleCycle::Step::Show:
      monitorsGone_ = false;
      framesOnScreen_ = false;
      if (auto covered = coverMonitors(); !covered) core_.fail(covered.error());
      break;
    case IdleCycle::Step::Hide:
      uncover();
      break;
    case IdleCycle::Step::Stay:
      break;
  }
}

void X11Host::drawAll(double now) {
  const bool on = monitorsOn(now);
  bool presented = false;
  for (auto& t : targets_) {
    if (!t.mapped || !t.visible || !on) continue;
    if (t.view->drawFrame(t.frame->graphics()) != DrawOutcome::Drawn) continue;
    t.frame->present();
    presented = true;
  }
  XFlush(display_);
  if (presented) core_.frameOnScreen(targets_.size());
}

void X11Host::handle(const XEvent& ev) {
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
          core_.fail(sized.error());
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
        core_.say(windowName(t->window) + " was destroyed");
        t->created.forget();  // gone already
        targets_.erase(targets_.begin() + (t - targets_.data()));
        // A window destroyed under it ends the run, or (watching idleness) this showing.
        if (targets_.empty()) {
          if (core_.watchesIdle()) {
            monitorsGone_ = true;
          } else {
            core_.end(1);
          }
        }
      }
      break;
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == wmDelete_) core_.end(0);
      break;
    case KeyPress:
      core_.input(HostEvent::keyDown(keyOf(ev.xkey)));
      break;
    case ButtonPress:
      core_.input(HostEvent::button());
      break;
    case MotionNotify:
      core_.input(HostEvent::pointerMotion(ev.xmotion.x_root, ev.xmotion.y_root));
      break;
    default:
      break;
  }
}

void X11Host::drainQueue() {
  while (!core_.ended() && XQLength(display_) > 0) {
    XEvent ev;
    XNextEvent(display_, &ev);
    handle(ev);
  }
}

void X11Host::grabInput() {
  if (targets_.empty()) return;
  for (const auto& t : targets_) {
    if (!t.mapped) return;  // a grab needs a viewable window
  }
  const Window w = targets_.front().window;
  // Travel counts from where the pointer is now.
  Window rootReturn = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned int buttons = 0;
  if (XQueryPointer(display_, w, &rootReturn, &child, &rootX, &rootY, &x, &y, &buttons)) {
    core_.input(HostEvent::pointerEnter(rootX, rootY));
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
  // Another client may hold a grab (a menu open for a moment, a VM viewer or
  // a game for longer): try again next frame. Meanwhile the idle source
  // watches the server's idle time for the input that client takes.
  grabbed_ = keyboard && pointer;
  if (!grabbed_) {
    XUngrabKeyboard(display_, CurrentTime);
    XUngrabPointer(display_, CurrentTime);
  }
}

bool X11Host::monitorsOn(double now) {
  if (!activated_ || now < nextDpmsCheck_) return monitorsOn_;
  nextDpmsCheck_ = now + 1.0;
  int event = 0, error = 0;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  monitorsOn_ = !(DPMSQueryExtension(display_, &event, &error) && DPMSInfo(display_, &level, &enabled) && enabled &&
                  level != DPMSModeOn);
  return monitorsOn_;
}

int X11Host::run() {
  if (!idle_ && targets_.empty()) return core_.ended() ? core_.status() : 1;
  const int xfd = ConnectionNumber(display_);
  FramePacer& pacer = core_.pacer();
  std::vector<pollfd> fds;
  while (!core_.ended()) {
    // One flush and one read of what has arrived (the frame's completion,
    // mostly), then the queue as it stands: asking XPending until it says no
    // costs a failed read a time, and later events wait for the next wake-up.
    for (int queued = XEventsQueued(display_, QueuedAfterFlush); queued > 0 && !core_.ended(); --queued) {
      XEvent ev;
      XNextEvent(display_, &ev);
      handle(ev);
    }
    if (g_badWindow) {
      const Window bad = std::exchange(g_badWindow, 0);
      core_.fail(windowName(bad) + " is gone");
      break;
    }
    if (core_.ended()) break;
    if (idle_) {
      if (auto dispatched = idle_->dispatch(fds); !dispatched) core_.fail(dispatched.error());
      if (core_.ended()) break;
      core_.dispatchLock(fds);
      applyIdleStep();
      if (core_.ended()) break;
    }
    double now = core_.now();
    // Not every change of the monitors is announced (a monitor set by hand
    // with xrandr --setmonitor, say): look again every two seconds too.
    if (followsMonitors_ && now >= nextMonitorCheck_) {
      nextMonitorCheck_ = now + 2.0;
      followMonitors();
      if (core_.ended()) break;
    }
    if (activated_ && !grabbed_) grabInput();
    if (pacer.due(now)) {
      drawAll(now);
      now = core_.now();
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
    drainQueue();
    if (core_.ended() || g_badWindow) continue;
    int timeout = core_.showing() ? pacer.timeoutMs(now) : -1;
    fds.assign(1, pollfd{drawing ? -1 : xfd, POLLIN, 0});
    if (idle_) idle_->prepare(fds, timeout);
    core_.prepareLock(fds, timeout);
    poll(fds.data(), fds.size(), timeout);
  }
  return core_.status();
}

}  // namespace orbelune
