#include "cli/saver_command.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/cli.h"
#include "cli/saver_options.h"
#include "wayland/wayland_saver.h"
#include "base/number_text.h"
#include "x11/x11_frame.h"
#include "x11/x11_handles.h"
#include "x11/x11_targets.h"
#include "view/frame_rate_overlay.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

enum class Placement { OwnWindow, Root, GivenWindow, Fullscreen, Wayland, WaylandBackground };

struct SaverOptions {
  Placement placement = Placement::OwnWindow;
  Window windowId = 0;
  SaverOverrides overrides;
  bool fps = false;
  double scale = 0.0;  // 0: the screen's own (Xft.dpi)
};

SaverOptions parseSaverOptions(const std::vector<std::string>& args) {
  SaverOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto name = cli::flagName(args[i]);
    if (!name) throw cli::UsageError("unexpected argument '" + args[i] + "'");
    std::size_t next = i;
    if (parseSaverOption(args, next, o.overrides)) {
      i = next - 1;
      continue;
    }
    if (*name == "root") {
      o.placement = Placement::Root;
    } else if (*name == "window-id") {
      if (i + 1 >= args.size()) throw cli::UsageError("--window-id needs a window id");
      auto id = parseWindowId(args[++i]);
      if (!id) throw cli::UsageError("--window-id needs a window id in hex (0x...) or decimal, not '" + args[i] + "'");
      o.placement = Placement::GivenWindow;
      o.windowId = *id;
    } else if (*name == "fullscreen") {
      o.placement = Placement::Fullscreen;
    } else if (*name == "wayland") {
      o.placement = Placement::Wayland;
    } else if (*name == "wayland-background") {
      o.placement = Placement::WaylandBackground;
    } else if (*name == "fps") {
      o.fps = true;
    } else if (*name == "scale") {
      if (i + 1 >= args.size()) throw cli::UsageError("--scale needs a number from 0.5 to 8");
      auto v = parseNumber(args[++i]);
      if (!v || *v < 0.5 || *v > 8.0) throw cli::UsageError("--scale needs a number from 0.5 to 8, not '" + args[i] + "'");
      o.scale = *v;
    } else if (*name == "window") {
      o.placement = Placement::OwnWindow;
    } else {
      throw cli::UsageError("unknown flag '" + args[i] + "' (see orbelune --help)");
    }
  }
  return o;
}

// SIGTERM and SIGINT end the saver at once, with status 0. It has nothing to
// save, and a graceful end would talk to the X server (XCloseDisplay waits for
// its answer), which may be stopped or stuck: the kernel closes the connection
// and the server frees the windows, pictures and shared memory with it.
void onSignal(int) { _exit(0); }

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

struct Target {
  Window window = 0;
  std::optional<MonitorArea> monitor;  // the monitor a full-screen view covers
  std::optional<FrameRateOverlay> fps;
  CreatedWindow created;  // the window, when this program made it
  bool mapped = false;
  bool visible = true;
  std::unique_ptr<X11Frame> frame;
  std::unique_ptr<OrbeluneView> view;
};

class SaverHost {
 public:
  SaverHost(Display* display, std::ostream& err, const SaverOptions& options)
      : display_(display),
        err_(err),
        overrides_(options.overrides),
        fps_(options.fps),
        scale_(options.scale > 0.0 ? options.scale : screenScale(display)) {}
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

  Display* display_;
  std::ostream& err_;
  std::vector<Target> targets_;
  std::shared_ptr<Clock> clock_ = std::make_shared<MonotonicClock>();
  // Shared by every view of this host, so a change reaches all of them.
  std::shared_ptr<SweepParameters> sweep_ = std::make_shared<SweepParameters>();
  SaverOverrides overrides_;
  bool fps_;
  double scale_;
  bool followsMonitors_ = false;
  int randrEvent_ = -1;
  double nextMonitorCheck_ = 0.0;
  Atom wmDelete_ = 0;
  bool quit_ = false;
  int status_ = 0;
};

SaverHost::~SaverHost() {
  for (auto& t : targets_) {
    if (t.view) t.view->stopAnimation();
  }
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
  if (!X11Frame::visualMatchesCairo(display_, attrs.visual, attrs.depth)) {
    err_ << "orbelune: window 0x" << std::hex << window << std::dec << " has a depth-" << attrs.depth
         << " visual this saver cannot draw on (it needs 24-bit TrueColor)\n";
    return false;
  }
  Target t;
  t.window = window;
  t.created = std::move(created);
  t.mapped = attrs.map_state == IsViewable;
  t.frame = std::make_unique<X11Frame>(display_, window, attrs.visual, attrs.depth);
  if (!t.frame->resize(attrs.width, attrs.height)) {
    err_ << "orbelune: " << t.frame->error() << "\n";
    return false;
  }
  t.view = OrbeluneView::create(makeRect(0, 0, attrs.width, attrs.height), preview, clock_, sweep_);
  if (!t.view) {
    err_ << "orbelune: cannot create the view\n";
    return false;
  }
  applySaverOverrides(overrides_, *t.view);
  t.view->setDisplayScale(scale_);
  if (fps_) t.fps.emplace(true);
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
  CreatedWindow created(display_, XCreateWindow(display_, root, x, y, static_cast<unsigned>(width),
                                                static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                                CopyFromParent, CWBackPixel | CWEventMask, &sa));
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
    targets_.back().view->startAnimation();
  }
  if (targets_.empty()) quit_ = true;  // no monitor left to cover
}

void SaverHost::draw(Target& t) {
  const double start = clock_->now();
  CairoGraphics& graphics = t.frame->graphics();
  if (t.view->tick(graphics) != DrawOutcome::Drawn) return;
  if (t.fps) {
    const double now = clock_->now();
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    t.fps->frameDrawn(now, now - start, static_cast<double>(cpu.tv_sec) + cpu.tv_nsec * 1e-9);
    t.fps->draw(graphics, t.view->bounds(), t.view->settings().textColor.value_or(Color::white()), scale_);
  }
  t.frame->present();
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
        if (!t->frame->resize(ev.xconfigure.width, ev.xconfigure.height)) {
          err_ << "orbelune: " << t->frame->error() << "\n";
          status_ = 1;
          quit_ = true;
          return;
        }
        // The bounds the next frame reads.
        t->view->setFrameSize(Size{static_cast<double>(ev.xconfigure.width), static_cast<double>(ev.xconfigure.height)});
      }
      break;
    case Expose:
      if (ev.xexpose.count == 0) t->frame->presentAll();
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
      if (sym == XK_q || sym == XK_Q || sym == XK_Escape) quit_ = true;
      break;
    }
    default:
      break;
  }
}

int SaverHost::run() {
  if (targets_.empty()) return 1;
  for (auto& t : targets_) t.view->startAnimation();
  const double interval = targets_.front().view->animationTimeInterval();
  const int xfd = ConnectionNumber(display_);

  MonotonicClock clock;
  double next = clock.now() + interval;
  while (!quit_) {
    while (!quit_ && XPending(display_)) {
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
    if (now >= next) {
      for (auto& t : targets_) {
        if (t.mapped && t.visible) draw(t);
      }
      XFlush(display_);
      next += interval;  // absolute deadlines: no drift
      now = clock.now();
      if (next <= now) next = now + interval;  // fell behind: skip, never burst
    }
    const int timeoutMs = static_cast<int>(std::ceil((next - now) * 1000.0));
    // While drawing, events wait for the next frame (at most one interval)
    // instead of waking the saver on their own: the server's word that it has
    // read a frame comes every frame, and each wake-up costs as much again.
    // With nothing to draw, events are what the saver waits for.
    bool drawing = false;
    for (const auto& t : targets_) drawing = drawing || (t.mapped && t.visible);
    pollfd fd{drawing ? -1 : xfd, POLLIN, 0};
    poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs);
  }
  return status_;
}

}  // namespace

void printSaverHelp(std::ostream& out) {
  out << "usage: orbelune [--window | --root | --window-id ID | --fullscreen] [SETTINGS]\n"
         "\n"
         "  --window        a resizable window of its own (the default; q or Escape quits)\n"
         "  --root          draw on the window in $XSCREENSAVER_WINDOW, else the virtual root\n"
         "  --window-id ID  draw on the window ID (hex 0x... or decimal), as a preview\n"
         "  --fullscreen    one full-screen view per monitor\n"
         "  --wayland       on Wayland (layer shell): cover every output; input ends it\n"
         "  --wayland-background\n"
         "                  the same on the background layer, taking no input\n"
         "  --fps           show the frames a second, the frame time and the CPU share\n"
         "  --scale S       pixels a point (default: the screen's Xft.dpi / 96)\n"
         "\n"
         "Settings for this run only (they override the stored ones and are never saved):\n";
  printSettingFlags(out);
  out << "\n"
         "Every flag also works with a single dash (-root), as XScreenSaver passes them.\n"
         "SIGTERM or SIGINT ends the saver with status 0.\n";
}

int runSaverCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  (void)out;
  // First of all, so that a SIGTERM however early ends the saver cleanly.
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  SaverOptions o;
  try {
    o = parseSaverOptions(args);
  } catch (const cli::UsageError& e) {
    err << "orbelune: " << e.what() << "\n";
    return cli::kExitUsage;
  }
  if (o.placement == Placement::Root) {
    if (const char* env = std::getenv("XSCREENSAVER_WINDOW"); env && *env) {
      auto id = parseWindowId(env);
      if (!id) {
        err << "orbelune: XSCREENSAVER_WINDOW must be a window id in hex (0x...) or decimal, not '" << env << "'\n";
        return cli::kExitUsage;
      }
      o.windowId = *id;
    }
  }

  // A window of its own on a Wayland session without X (no XWayland): a native one.
  const char* name = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool waylandOnly = (!name || !*name) && wayland && *wayland;
  using Surface = WaylandSaverOptions::Surface;
#ifdef ORBELUNE_WAYLAND
  if (waylandOnly && (o.placement == Placement::OwnWindow || o.placement == Placement::Fullscreen)) {
    const Surface s = o.placement == Placement::Fullscreen ? Surface::Fullscreen : Surface::Window;
    return runWaylandSaver({s, o.overrides, o.fps, o.scale}, err);
  }
#else
  (void)waylandOnly;
#endif
  if (o.placement == Placement::Wayland || o.placement == Placement::WaylandBackground) {
#ifdef ORBELUNE_WAYLAND
    const Surface s = o.placement == Placement::WaylandBackground ? Surface::Background : Surface::Overlay;
    return runWaylandSaver({s, o.overrides, o.fps, o.scale}, err);
#else
    err << "orbelune: this build has no Wayland host (it needs libwayland-dev, libwayland-bin, wayland-protocols "
           "when built)\n";
    return cli::kExitUsage;
#endif
  }

  DisplayConnection connection(XOpenDisplay(nullptr));
  Display* display = connection.get();
  if (!display) {
    err << "orbelune: cannot open display " << (name && *name ? name : "(DISPLAY is not set)")
        << "; for a headless run use 'orbelune render'\n";
    return 1;
  }
  XSetErrorHandler(onXError);
  XSetIOErrorHandler(onXIOError);

  int status = 1;
  {
    SaverHost host(display, err, o);
    bool ok = true;
    const int screen = DefaultScreen(display);
    switch (o.placement) {
      case Placement::GivenWindow:
        ok = host.addGivenWindow(o.windowId, true);
        break;
      case Placement::Root:
        // XScreenSaver's window is the real screen: only --window-id is a preview.
        ok = host.addGivenWindow(o.windowId ? o.windowId : virtualRootWindow(display, screen), false);
        break;
      case Placement::Fullscreen:
        ok = host.coverMonitors();
        break;
      case Placement::OwnWindow:
        ok = host.addOwnWindow(0, 0, 960, 540, false);
        break;
      case Placement::Wayland:
      case Placement::WaylandBackground:
        break;  // handled above, without an X display
    }
    if (ok) status = host.run();
  }
  return status;
}

}  // namespace orbelune
