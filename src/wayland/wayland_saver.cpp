#include "wayland/wayland_saver.h"

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cairo/text_engine.h"
#include "gnome/mutter_idle.h"
#include "host/host_core.h"
#include "view/status_line.h"
#include "wayland/output_surface.h"
#include "wayland/protocol_idle_source.h"
#include "wayland/wayland_display.h"
#include "wayland/wayland_seat.h"

namespace orbelune {
namespace {

class WaylandSaver {
 public:
  WaylandSaver(const WaylandSaverOptions& options, HostCore& core) : surface_(options.placement), core_(core) {}
  // Until the core ends; its status. With `idleAfterSeconds`, the figure
  // comes and goes with the session's idleness.
  int run(double idleAfterSeconds = 0.0, std::ostream* verbose = nullptr);

 private:
  bool layered() const {
    return surface_ == Placement::Cover || surface_ == Placement::Background;
  }
  bool background() const { return surface_ == Placement::Background; }
  // Whether the figure covers every output, one surface each (GNOME's:
  // full-screen windows over the outputs, having no layer shell).
  bool coversOutputs() const { return layered() || windowsOverOutputs_; }
  // Watches the idle source this compositor offers (its protocol, else
  // Mutter's); or why there is none.
  Result<void> watchIdle(double afterSeconds, std::ostream* verbose);
  void cover(OutputSurface& o);
  void openWindow();
  // Acts on what the listeners recorded: new, gone and configured surfaces.
  void applyChanges();
  void draw(OutputSurface& o);

  Placement surface_;
  bool windowsOverOutputs_ = false;
  HostCore& core_;
  // Declared before every object of its connection, so that it goes after them.
  WaylandDisplay display_;
  std::optional<WaylandSeat> seat_;
  std::unique_ptr<IdleSource> idleSource_;
  std::list<OutputSurface> outputs_;
  std::list<OutputSurface> windows_;  // the one window, when not covering the outputs
};

Result<void> WaylandSaver::watchIdle(double afterSeconds, std::ostream* verbose) {
  if (display_.layerShell() && display_.seat() && (display_.idleNotifier() || display_.kdeIdle())) {
    idleSource_ = std::make_unique<ProtocolIdleSource>(display_.idleNotifier(), display_.kdeIdle(), display_.seat(),
                                                       afterSeconds);
  } else {
    // GNOME: no layer shell and no idle protocol, but Mutter's idle monitor.
    auto mutter = makeMutterIdleSource(afterSeconds, core_);
    if (!mutter) core_.say(mutter.error().message);  // there, but not answering
    if (!mutter || !*mutter) {
      return Error{"this compositor offers no idle time to clients (neither ext-idle-notify-v1 nor KDE's idle "
                   "protocol with the layer shell)"};
    }
    idleSource_ = std::move(*mutter);
    surface_ = Placement::Fullscreen;
    windowsOverOutputs_ = true;
  }
  core_.watchIdle(*idleSource_, verbose);
  return {};
}

void WaylandSaver::cover(OutputSurface& o) {
  if (!display_.compositor()) return;
  if (windowsOverOutputs_) {
    if (display_.wmBase()) o.coverWithToplevel(display_, true, o.output.get());
  } else if (display_.layerShell()) {
    o.coverWithLayer(display_, background());
  }
}

void WaylandSaver::openWindow() {
  OutputSurface& o = windows_.emplace_back();
  for (const auto& out : outputs_) o.scale = std::max(o.scale, out.scale);  // the sharpest output's
  o.coverWithToplevel(display_, surface_ == Placement::Fullscreen, nullptr);
}

void WaylandSaver::applyChanges() {
  if (seat_) seat_->apply();
  if (core_.watchesIdle()) {
    // Input on the figure, a window of it closed, or the word that the
    // session is in use again hides it; the next idle time shows it again.
    const bool closed =
        std::any_of(outputs_.begin(), outputs_.end(), [](const OutputSurface& o) { return o.closed; });
    if (core_.idleStep(closed) == IdleCycle::Step::Hide) {
      for (auto& o : outputs_) o.uncover();
    }
  }
  // Outputs unplugged, and surfaces the compositor closed, end their views.
  outputs_.remove_if([](const OutputSurface& o) { return o.removed || o.closed; });
  for (auto& o : outputs_) {
    if (o.described && !o.surface && coversOutputs() && core_.showing()) cover(o);
  }
  // A configured surface, and a new preferred scale, show a frame as soon as
  // the compositor takes one; the first frame the compositor took is on
  // screen: input counts from then on, and a showing says so.
  for (auto* list : {&outputs_, &windows_}) {
    for (auto& o : *list) {
      const bool acknowledged = o.acknowledge();
      const bool rescaled = std::exchange(o.rescaled, false);
      if (acknowledged || rescaled) draw(o);
      if (std::exchange(o.presented, false)) core_.frameOnScreen(coversOutputs() ? outputs_.size() : 1);
    }
  }
}

void WaylandSaver::draw(OutputSurface& o) {
  if (core_.ended()) return;  // a failure already said so: once
  if (auto drawn = o.draw(core_, display_); !drawn) core_.fail(drawn.error());
}

int WaylandSaver::run(double idleAfterSeconds, std::ostream* verbose) {
  if (!display_.connected()) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    core_.say(std::string("cannot connect to a Wayland compositor (") +
              (name && *name ? name : "WAYLAND_DISPLAY is not set") + ")");
    return 1;
  }
  display_.bind({.seat = !background(), .idle = idleAfterSeconds > 0.0},
                {.added = [this](uint32_t name, wl_output* output) { outputs_.emplace_back(name, output); },
                 .removed =
                     [this](uint32_t name) {
                       // An output unplugged: the loop lets its view go with it.
                       for (auto& o : outputs_) {
                         if (o.globalName == name) o.removed = true;
                       }
                     }});
  seat_.emplace(display_.seat(), core_);
  if (idleAfterSeconds > 0.0) {
    if (auto watching = watchIdle(idleAfterSeconds, verbose); !watching) {
      core_.fail(watching.error());
      return core_.status();
    }
  }
  if (layered() && !display_.layerShell()) {
    // A placement this compositor cannot give: bad usage, not a failure.
    core_.say("this compositor has no layer-shell protocol (GNOME's has none); use --window");
    return 2;
  }
  if (!display_.compositor() || !display_.shm() || (!layered() && !display_.wmBase())) {
    core_.fail("this compositor lacks wl_compositor, wl_shm or xdg_wm_base");
    return 1;
  }
  wl_display* display = display_.display();
  wl_display_roundtrip(display);  // the outputs' done events, then their surfaces
  // The status line's font is loaded before any large buffer: should memory
  // run short, the buffer's allocation, which is checked, fails rather than
  // fontconfig, which cannot fail gracefully.
  TextEngine().measure("0", kStatusFontName, kStatusFontSize);
  if (!coversOutputs()) openWindow();

  FramePacer& pacer = core_.pacer();
  while (!core_.ended()) {
    applyChanges();
    if (core_.ended()) break;
    const bool windowClosed =
        std::all_of(windows_.begin(), windows_.end(), [](const OutputSurface& w) { return w.closed; });
    if (!coversOutputs() && windowClosed) {
      core_.end(0);  // the window was closed
      break;
    }
    if (pacer.due(core_.now())) {
      for (auto& o : outputs_) draw(o);
      for (auto& w : windows_) draw(w);
      pacer.advance(core_.now());
    }
    if (core_.ended()) break;
    // With nothing shown, events are all there is to wait for: the
    // compositor's, and the idle source's.
    int timeout = core_.showing() ? pacer.timeoutMs(core_.now()) : -1;
    std::vector<pollfd> fds{{}};
    if (idleSource_) idleSource_->prepare(fds, timeout);
    core_.prepareLock(fds, timeout);
    if (!display_.exchange(fds, timeout)) break;
    if (idleSource_) {
      if (auto dispatched = idleSource_->dispatch(fds); !dispatched) core_.fail(dispatched.error());
    }
    core_.dispatchLock(fds);
  }
  if (!core_.ended()) core_.lostConnection(kCompositor, display_.failure());
  return core_.status();
}

}  // namespace

int runWaylandSaver(const WaylandSaverOptions& options, std::ostream& err) {
  HostCore core("orbelune", options.session, inputModeFor(options.placement), err);
  WaylandSaver saver(options, core);
  return saver.run();
}

int runWaylandIdleWatcher(const IdleOptions& options, SessionLocker* locker, std::ostream& out, std::ostream& err) {
  // One connection and one session for every showing.
  HostCore core("orbelune idle", options.session, inputModeFor(Placement::Cover), err);
  if (locker) core.lockAfterIdle(*locker);
  WaylandSaver saver({Placement::Cover, options.session}, core);
  return saver.run(options.afterSeconds, options.verbose ? &out : nullptr);
}

}  // namespace orbelune
