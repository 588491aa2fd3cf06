#include "wayland/wayland_saver.h"

#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <ctime>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "cairo/text_engine.h"
#include "host/host_core.h"
#include "view/status_line.h"
#include "gnome/mutter_idle.h"
#include "wayland/protocol_idle_source.h"
#include "wayland/shm_buffer.h"
#include "wayland/surface_scale.h"
// The protocol names a parameter "namespace", which C++ reserves.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

namespace orbelune {
namespace {

// A commit carries at most this many damage boxes (one request each); past
// it, their bounds. Thousands of boxes on a large output would fill the
// socket with requests the compositor gains little from.
constexpr std::size_t kMostDamageBoxes = 64;

class WaylandSaver;

// One output and what covers it.
struct OutputView {
  WaylandSaver* host = nullptr;
  uint32_t globalName = 0;
  wl_output* output = nullptr;
  int32_t scale = 1;  // the output's whole-number scale (wl_output.scale)
  wl_surface* surface = nullptr;
  // Where the compositor offers fractional scales: the surface's preferred
  // scale (0 until it says one) and the viewport it is shown through.
  wp_fractional_scale_v1* fractionalScale = nullptr;
  wp_viewport* viewport = nullptr;
  uint32_t preferredScale = 0;
  bool rescaled = false;  // recorded: a new preferred scale, to draw at once
  KeptState<int32_t> bufferScale{1};  // what wl_surface.set_buffer_scale said last
  KeptState<PixelSize> destination;   // what the viewport was told last
  zwlr_layer_surface_v1* layer = nullptr;
  xdg_surface* xdgSurface = nullptr;  // a window's
  xdg_toplevel* toplevel = nullptr;
  int width = 0, height = 0;  // logical, from the compositor's configure
  // What the listeners recorded for the loop to act on.
  bool described = false;        // the output sent its done event
  bool removed = false;          // its global went away
  std::optional<uint32_t> configureSerial;  // a configure to acknowledge
  bool configured = false;
  bool frameReady = true;     // the compositor asked for a frame (or none was sent yet)
  wl_callback* frameCallback = nullptr;
  ShmBufferPool buffers;
  std::vector<PixelBox> lastDamage;  // what the buffer shown before differed in
  std::unique_ptr<SessionView> view;
  bool closed = false;
  bool presented = false;  // recorded: the compositor took a frame of the view's

  // Takes the surface away, keeping the output.
  void uncover() {
    if (frameCallback) wl_callback_destroy(frameCallback);
    frameCallback = nullptr;
    view.reset();
    if (viewport) wp_viewport_destroy(viewport);
    if (fractionalScale) wp_fractional_scale_v1_destroy(fractionalScale);
    viewport = nullptr;
    fractionalScale = nullptr;
    preferredScale = 0;
    rescaled = false;
    bufferScale = KeptState<int32_t>(1);
    destination = KeptState<PixelSize>();
    if (toplevel) xdg_toplevel_destroy(toplevel);
    if (xdgSurface) xdg_surface_destroy(xdgSurface);
    if (layer) zwlr_layer_surface_v1_destroy(layer);
    if (surface) wl_surface_destroy(surface);
    toplevel = nullptr;
    xdgSurface = nullptr;
    layer = nullptr;
    surface = nullptr;
    buffers = ShmBufferPool();
    lastDamage.clear();
    configureSerial.reset();
    configured = false;
    frameReady = true;
    closed = false;
    presented = false;
  }
  ~OutputView() {
    uncover();
    if (output) wl_output_release(output);
  }
};

class WaylandSaver {
 public:
  WaylandSaver(const WaylandSaverOptions& options, HostCore& core) : surface_(options.surface), core_(core) {}
  ~WaylandSaver();
  // Until the core ends; its status. With `idleAfterSeconds`, the figure
  // comes and goes with the session's idleness.
  int run(double idleAfterSeconds = 0.0, std::ostream* verbose = nullptr);

 private:
  static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
  void addOutput(uint32_t name, uint32_t version);
  // A surface for `o`, with its fractional scale and viewport where offered.
  void makeSurface(OutputView& o);
  bool fractional() const { return fractionalScales_ && viewporter_; }
  void cover(OutputView& o);
  void openWindow();
  // A surface with an xdg toplevel titled "Orbelune", listened to, not yet committed.
  void makeToplevel(OutputView& o);
  bool layered() const {
    return surface_ == WaylandSaverOptions::Surface::Overlay || surface_ == WaylandSaverOptions::Surface::Background;
  }
  bool background() const { return surface_ == WaylandSaverOptions::Surface::Background; }
  // Whether the figure covers every output, one surface each (GNOME's:
  // full-screen windows over the outputs, having no layer shell).
  bool coversOutputs() const { return layered() || windowsOverOutputs_; }
  // The idle source this compositor offers (its protocol, else Mutter's);
  // false, said, when there is none.
  bool watchIdle(double afterSeconds, std::ostream* verbose);
  void keyPressed(uint32_t key);
  // Acts on what the listeners recorded: new, gone and configured surfaces.
  void applyChanges();
  void acknowledge(OutputView& o);
  void draw(OutputView& o);
  // Sends every queued request, waiting while the compositor's socket is full
  // (it reads it when it can); false when the connection failed.
  bool flushAll();
  void setUpSeat(uint32_t caps);

  WaylandSaverOptions::Surface surface_;
  bool windowsOverOutputs_ = false;
  HostCore& core_;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  wp_fractional_scale_manager_v1* fractionalScales_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  std::list<OutputView> windows_;  // the one window, when not on the layers
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  std::list<OutputView> outputs_;
  bool seatChanged_ = false;
  uint32_t seatCaps_ = 0;
  // Capabilities the seat lost since the loop last looked, even when they came
  // back at once (a device replaced): the old objects get no more events.
  uint32_t seatCapsLost_ = 0;
  bool lost_ = false;  // the connection failed while drawing
  // Idle watching: the compositor's protocols, and the source in use.
  ext_idle_notifier_v1* idleNotifier_ = nullptr;
  org_kde_kwin_idle* kdeIdle_ = nullptr;
  std::unique_ptr<IdleSource> idleSource_;
  bool watchingIdle_ = false;  // binds the idle protocols

  friend struct Listeners;
};

struct Listeners {
  static void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                             int32_t) {}
  static void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
  static void outputDone(void* data, wl_output*) { static_cast<OutputView*>(data)->described = true; }
  static void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<OutputView*>(data)->scale = std::max(factor, 1);
  }
  static void outputText(void*, wl_output*, const char*) {}
  static constexpr wl_output_listener output{outputGeometry, outputMode, outputDone, outputScale, outputText,
                                             outputText};

  static void layerConfigure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t w, uint32_t h) {
    auto* o = static_cast<OutputView*>(data);
    o->width = static_cast<int>(w);
    o->height = static_cast<int>(h);
    o->configureSerial = serial;
  }
  static void layerClosed(void* data, zwlr_layer_surface_v1*) { static_cast<OutputView*>(data)->closed = true; }
  static constexpr zwlr_layer_surface_v1_listener layer{layerConfigure, layerClosed};

  static void preferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    auto* o = static_cast<OutputView*>(data);
    if (scale == o->preferredScale) return;
    o->preferredScale = scale;
    o->rescaled = true;
  }
  static constexpr wp_fractional_scale_v1_listener fractionalScale{preferredScale};

  static void frameDone(void* data, wl_callback* callback, uint32_t) {
    auto* o = static_cast<OutputView*>(data);
    wl_callback_destroy(callback);
    o->frameCallback = nullptr;
    o->frameReady = true;
    o->presented = true;
  }
  static constexpr wl_callback_listener frame{frameDone};

  static void wmPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
  static constexpr xdg_wm_base_listener wmBase{wmPing};
  static void xdgConfigure(void* data, xdg_surface*, uint32_t serial) {
    static_cast<OutputView*>(data)->configureSerial = serial;
  }
  static constexpr xdg_surface_listener xdgSurface{xdgConfigure};
  static void toplevelConfigure(void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
    auto* o = static_cast<OutputView*>(data);
    // 0 leaves the size to the client: the usual window size then.
    o->width = w > 0 ? w : (o->width > 0 ? o->width : 960);
    o->height = h > 0 ? h : (o->height > 0 ? o->height : 540);
  }
  static void toplevelClose(void* data, xdg_toplevel*) { static_cast<OutputView*>(data)->closed = true; }
  static void toplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
  static void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
  static constexpr xdg_toplevel_listener toplevel{toplevelConfigure, toplevelClose, toplevelBounds,
                                                  toplevelCapabilities};

  static void seatCapabilities(void* data, wl_seat*, uint32_t caps) {
    auto* s = static_cast<WaylandSaver*>(data);
    s->seatCapsLost_ |= ~caps;
    s->seatCaps_ = caps;
    s->seatChanged_ = true;
  }
  static void seatName(void*, wl_seat*, const char*) {}
  static constexpr wl_seat_listener seat{seatCapabilities, seatName};

  static void keymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
  static void keyEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
  static void keyLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
  static void key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<WaylandSaver*>(data)->keyPressed(key);
  }
  static void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
  static void repeat(void*, wl_keyboard*, int32_t, int32_t) {}
  static constexpr wl_keyboard_listener keyboard{keymap, keyEnter, keyLeave, key, modifiers, repeat};

  static void pointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
    static_cast<WaylandSaver*>(data)->core_.input(HostEvent::pointerEnter(wl_fixed_to_double(x), wl_fixed_to_double(y)));
  }
  static void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
  static void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    static_cast<WaylandSaver*>(data)->core_.input(HostEvent::pointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y)));
  }
  static void pointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<WaylandSaver*>(data)->core_.input(HostEvent::button());
  }
  static void pointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
  static void pointerFrame(void*, wl_pointer*) {}
  static void pointerAxisSource(void*, wl_pointer*, uint32_t) {}
  static void pointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
  static void pointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
  static constexpr wl_pointer_listener pointer{pointerEnter,      pointerLeave,    pointerMotion,       pointerButton,
                                               pointerAxis,       pointerFrame,    pointerAxisSource,   pointerAxisStop,
                                               pointerAxisDiscrete, pointerAxisDiscrete};
};

WaylandSaver::~WaylandSaver() {
  outputs_.clear();
  idleSource_.reset();
  if (idleNotifier_) ext_idle_notifier_v1_destroy(idleNotifier_);
  if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
  if (keyboard_) wl_keyboard_release(keyboard_);
  if (pointer_) wl_pointer_release(pointer_);
  if (seat_) wl_seat_release(seat_);
  windows_.clear();
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (viewporter_) wp_viewporter_destroy(viewporter_);
  if (fractionalScales_) wp_fractional_scale_manager_v1_destroy(fractionalScales_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) wl_display_disconnect(display_);
}

void WaylandSaver::onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* s = static_cast<WaylandSaver*>(data);
  const std::string iface = interface;
  if (iface == wl_compositor_interface.name) {
    s->compositor_ = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  } else if (iface == wl_shm_interface.name) {
    s->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (iface == zwlr_layer_shell_v1_interface.name) {
    s->layerShell_ = static_cast<zwlr_layer_shell_v1*>(
        wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, std::min(version, 4u)));
  } else if (iface == xdg_wm_base_interface.name) {
    s->wmBase_ = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(s->wmBase_, &Listeners::wmBase, s);
  } else if (iface == wp_fractional_scale_manager_v1_interface.name) {
    s->fractionalScales_ = static_cast<wp_fractional_scale_manager_v1*>(
        wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
  } else if (iface == wp_viewporter_interface.name) {
    s->viewporter_ = static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
  } else if (iface == wl_seat_interface.name && !s->seat_ && !s->background()) {
    s->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
    wl_seat_add_listener(s->seat_, &Listeners::seat, s);
  } else if (iface == wl_output_interface.name) {
    s->addOutput(name, version);
  } else if (iface == ext_idle_notifier_v1_interface.name && s->watchingIdle_) {
    s->idleNotifier_ =
        static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
  } else if (iface == org_kde_kwin_idle_interface.name && s->watchingIdle_) {
    s->kdeIdle_ = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
  }
}

void WaylandSaver::onGlobalRemove(void* data, wl_registry*, uint32_t name) {
  // An output unplugged: the loop lets its view go with it.
  for (auto& o : static_cast<WaylandSaver*>(data)->outputs_) {
    if (o.globalName == name) o.removed = true;
  }
}

void WaylandSaver::addOutput(uint32_t name, uint32_t version) {
  if (version < 3) return;  // wl_output.release and the done event
  OutputView& o = outputs_.emplace_back();
  o.host = this;
  o.globalName = name;
  o.output = static_cast<wl_output*>(wl_registry_bind(registry_, name, &wl_output_interface, 3));
  wl_output_add_listener(o.output, &Listeners::output, &o);
}

void WaylandSaver::cover(OutputView& o) {
  if (windowsOverOutputs_) {
    if (!wmBase_ || !compositor_) return;
    makeToplevel(o);
    xdg_toplevel_set_fullscreen(o.toplevel, o.output);
    wl_surface_commit(o.surface);
    return;
  }
  if (!layerShell_ || !compositor_) return;
  makeSurface(o);
  const auto layer = background() ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
  o.layer = zwlr_layer_shell_v1_get_layer_surface(layerShell_, o.surface, o.output, layer, "orbelune");
  zwlr_layer_surface_v1_set_anchor(o.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(o.layer, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(o.layer, background() ? 0 : 1);
  if (background()) {
    // Clicks go through to whatever is above: an empty input region.
    wl_region* none = wl_compositor_create_region(compositor_);
    wl_surface_set_input_region(o.surface, none);
    wl_region_destroy(none);
  }
  zwlr_layer_surface_v1_add_listener(o.layer, &Listeners::layer, &o);
  wl_surface_commit(o.surface);
}

void WaylandSaver::setUpSeat(uint32_t caps) {
  // A keyboard or pointer unplugged (or replaced) is let go, and taken again
  // when the seat has one.
  if ((seatCapsLost_ & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard_) {
    wl_keyboard_release(keyboard_);
    keyboard_ = nullptr;
  }
  if ((seatCapsLost_ & WL_SEAT_CAPABILITY_POINTER) && pointer_) {
    wl_pointer_release(pointer_);
    pointer_ = nullptr;
    core_.input(HostEvent::pointerGone());
  }
  seatCapsLost_ = 0;
  if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &Listeners::keyboard, this);
  }
  if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &Listeners::pointer, this);
  }
}

void WaylandSaver::makeSurface(OutputView& o) {
  o.surface = wl_compositor_create_surface(compositor_);
  if (!fractional()) return;
  o.fractionalScale = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalScales_, o.surface);
  wp_fractional_scale_v1_add_listener(o.fractionalScale, &Listeners::fractionalScale, &o);
  o.viewport = wp_viewporter_get_viewport(viewporter_, o.surface);
}

void WaylandSaver::makeToplevel(OutputView& o) {
  makeSurface(o);
  o.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, o.surface);
  xdg_surface_add_listener(o.xdgSurface, &Listeners::xdgSurface, &o);
  o.toplevel = xdg_surface_get_toplevel(o.xdgSurface);
  xdg_toplevel_add_listener(o.toplevel, &Listeners::toplevel, &o);
  xdg_toplevel_set_title(o.toplevel, "Orbelune");
  xdg_toplevel_set_app_id(o.toplevel, "orbelune");
}

void WaylandSaver::openWindow() {
  OutputView& o = windows_.emplace_back();
  o.host = this;
  for (const auto& out : outputs_) o.scale = std::max(o.scale, out.scale);  // the sharpest output's
  makeToplevel(o);
  if (surface_ == WaylandSaverOptions::Surface::Fullscreen) xdg_toplevel_set_fullscreen(o.toplevel, nullptr);
  wl_surface_commit(o.surface);
}

void WaylandSaver::keyPressed(uint32_t key) {
  // evdev's codes (linux/input-event-codes.h) of the keys a window ends on.
  constexpr uint32_t kKeyEscape = 1, kKeyQ = 16;
  core_.input(HostEvent::keyDown(key == kKeyQ        ? HostEvent::Key::Q
                                 : key == kKeyEscape ? HostEvent::Key::Escape
                                                     : HostEvent::Key::Other));
}

bool WaylandSaver::watchIdle(double afterSeconds, std::ostream* verbose) {
  if (layerShell_ && seat_ && (idleNotifier_ || kdeIdle_)) {
    idleSource_ = std::make_unique<ProtocolIdleSource>(idleNotifier_, kdeIdle_, seat_, afterSeconds);
  } else if (auto mutter = makeMutterIdleSource(afterSeconds, core_.err())) {
    // GNOME: no layer shell and no idle protocol, but Mutter's idle monitor.
    idleSource_ = std::move(mutter);
    surface_ = WaylandSaverOptions::Surface::Fullscreen;
    windowsOverOutputs_ = true;
  } else {
    core_.fail("this compositor offers no idle time to clients (neither ext-idle-notify-v1 nor KDE's idle "
               "protocol with the layer shell)");
    return false;
  }
  core_.watchIdle(*idleSource_, verbose);
  return true;
}

void WaylandSaver::applyChanges() {
  if (seatChanged_) {
    seatChanged_ = false;
    setUpSeat(seatCaps_);
  }
  if (core_.watchesIdle()) {
    // Input on the figure, a window of it closed, or the word that the
    // session is in use again hides it; the next idle time shows it again.
    const bool closed = std::any_of(outputs_.begin(), outputs_.end(), [](const OutputView& o) { return o.closed; });
    if (core_.idleStep(closed) == IdleCycle::Step::Hide) {
      for (auto& o : outputs_) o.uncover();
    }
  }
  // Outputs unplugged, and surfaces the compositor closed, end their views.
  outputs_.remove_if([](const OutputView& o) { return o.removed || o.closed; });
  for (auto& o : outputs_) {
    if (o.described && !o.surface && coversOutputs() && core_.showing()) cover(o);
    acknowledge(o);
  }
  for (auto& w : windows_) acknowledge(w);
  // A new preferred scale is shown as soon as the compositor takes a frame;
  // the first frame the compositor took is on screen: input counts from then
  // on, and a showing says so.
  for (auto* list : {&outputs_, &windows_}) {
    for (auto& o : *list) {
      if (o.rescaled) {
        o.rescaled = false;
        draw(o);
      }
      if (o.presented) {
        o.presented = false;
        core_.frameOnScreen(coversOutputs() ? outputs_.size() : 1);
      }
    }
  }
}

void WaylandSaver::acknowledge(OutputView& o) {
  if (!o.configureSerial) return;
  if (o.layer) zwlr_layer_surface_v1_ack_configure(o.layer, *o.configureSerial);
  if (o.xdgSurface) xdg_surface_ack_configure(o.xdgSurface, *o.configureSerial);
  o.configureSerial.reset();
  o.configured = true;
  // A configured surface shows its first frame (or its new size) at once.
  o.frameReady = o.frameReady || !o.view;
  draw(o);
}

void WaylandSaver::draw(OutputView& o) {
  if (core_.ended() || lost_) return;  // a failure already said so: once
  if (!o.configured || o.width <= 0 || o.height <= 0 || !o.frameReady) return;
  // The buffer is in device pixels; lines and text grow with the surface's scale.
  const SurfaceScale scale = SurfaceScale::choose(o.viewport != nullptr, o.preferredScale, o.scale);
  const auto [w, h] = scale.bufferSize(o.width, o.height);
  if (w <= 0 || h <= 0) return;
  if (auto sized = o.buffers.resize(shm_, w, h); !sized) {
    core_.fail(sized.error().message);
    return;
  }
  const Size size{static_cast<double>(w), static_cast<double>(h)};
  if (!o.view) {
    o.view = core_.makeView(size, false, scale.pixelsPerPoint());
    if (!o.view) return;
  }
  o.view->setHostScale(scale.pixelsPerPoint());
  o.view->resize(size);
  ShmBuffer* buffer = o.buffers.free();
  if (!buffer) return;  // the compositor holds both: skip this tick
  if (o.view->drawFrame(buffer->graphics()) != DrawOutcome::Drawn) return;
  // What earlier surfaces queued goes first, so that this one's requests never
  // find libwayland's buffer and the socket full (which it takes as fatal).
  if (!flushAll()) {
    lost_ = true;
    return;
  }
  // The buffers take turns, so this one differs from the one shown in what
  // either of the last two frames changed.
  // Every box is a request of its own: fewer, larger boxes.
  std::vector<PixelBox> damage = buffer->graphics().takeDamage(DamageGrid::kTilesPerRequestBox);
  std::vector<PixelBox> both = damage;
  both.insert(both.end(), o.lastDamage.begin(), o.lastDamage.end());
  o.lastDamage = std::move(damage);
  if (both.size() > kMostDamageBoxes) {
    PixelBox bounds = both.front();
    for (const auto& b : both) {
      bounds.x0 = std::min(bounds.x0, b.x0);
      bounds.y0 = std::min(bounds.y0, b.y0);
      bounds.x1 = std::max(bounds.x1, b.x1);
      bounds.y1 = std::max(bounds.y1, b.y1);
    }
    both.assign(1, bounds);
  }
  if (o.bufferScale.changeTo(scale.bufferScale())) wl_surface_set_buffer_scale(o.surface, scale.bufferScale());
  if (o.viewport && o.destination.changeTo(PixelSize{o.width, o.height})) {
    wp_viewport_set_destination(o.viewport, o.width, o.height);
  }
  wl_surface_attach(o.surface, buffer->attachable(), 0, 0);
  for (const auto& b : both) wl_surface_damage_buffer(o.surface, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
  o.frameReady = false;
  o.frameCallback = wl_surface_frame(o.surface);
  wl_callback_add_listener(o.frameCallback, &Listeners::frame, &o);
  wl_surface_commit(o.surface);
}

bool WaylandSaver::flushAll() {
  while (wl_display_flush(display_) < 0) {
    if (errno != EAGAIN) return false;
    pollfd fd{wl_display_get_fd(display_), POLLOUT, 0};
    if (poll(&fd, 1, 1000) < 0 && errno != EINTR) return false;
    if (fd.revents & (POLLERR | POLLHUP)) return false;
  }
  return true;
}

int WaylandSaver::run(double idleAfterSeconds, std::ostream* verbose) {
  display_ = wl_display_connect(nullptr);
  if (!display_) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    core_.err() << core_.name() << ": cannot connect to a Wayland compositor ("
         << (name && *name ? name : "WAYLAND_DISPLAY is not set")
         << ")\n";
    return 1;
  }
  registry_ = wl_display_get_registry(display_);
  static const wl_registry_listener listener{onGlobal, onGlobalRemove};
  watchingIdle_ = idleAfterSeconds > 0.0;
  wl_registry_add_listener(registry_, &listener, this);
  wl_display_roundtrip(display_);
  if (watchingIdle_ && !watchIdle(idleAfterSeconds, verbose)) return core_.status();
  if (layered() && !layerShell_) {
    core_.err() << core_.name() << ": this compositor has no layer-shell protocol (GNOME's has none); use --window\n";
    return 2;
  }
  if (!compositor_ || !shm_ || (!layered() && !wmBase_)) {
    core_.fail("this compositor lacks wl_compositor, wl_shm or xdg_wm_base");
    return 1;
  }
  wl_display_roundtrip(display_);  // the outputs' done events, then their surfaces
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
        std::all_of(windows_.begin(), windows_.end(), [](const OutputView& w) { return w.closed; });
    if (!coversOutputs() && windowClosed) {
      core_.end(0);  // the window was closed
      break;
    }
    double now = core_.now();
    if (pacer.due(now)) {
      for (auto& o : outputs_) draw(o);
      for (auto& w : windows_) draw(w);
      pacer.advance(core_.now());
    }
    if (lost_ || !flushAll()) break;
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) break;
    }
    // With nothing shown, events are all there is to wait for: the
    // compositor's, and the idle source's.
    int timeout = core_.showing() ? pacer.timeoutMs(core_.now()) : -1;
    std::vector<pollfd> fds{{wl_display_get_fd(display_), POLLIN, 0}};
    if (idleSource_) idleSource_->prepare(fds, timeout);
    const int ready = poll(fds.data(), fds.size(), timeout);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      if (wl_display_read_events(display_) < 0) break;
    } else {
      wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) break;
    if (idleSource_ && !idleSource_->dispatch(fds)) core_.end(1);  // the bus went; the source said so
  }
  if (!core_.ended()) core_.lostConnection("the Wayland compositor");
  return core_.status();
}

}  // namespace

int runWaylandSaver(const WaylandSaverOptions& options, std::ostream& err) {
  using Surface = WaylandSaverOptions::Surface;
  const auto mode = options.surface == Surface::Overlay      ? InputRules::Mode::Cover
                    : options.surface == Surface::Background ? InputRules::Mode::NoInput
                                                             : InputRules::Mode::Window;
  HostCore core("orbelune", options.session, mode, err);
  WaylandSaver saver(options, core);
  return saver.run();
}

int runWaylandIdleWatcher(const IdleOptions& options, std::ostream& out, std::ostream& err) {
  // One connection and one session for every showing.
  HostCore core("orbelune idle", options.session, InputRules::Mode::Cover, err);
  WaylandSaver saver({WaylandSaverOptions::Surface::Overlay, options.session}, core);
  return saver.run(options.afterSeconds, options.verbose ? &out : nullptr);
}

}  // namespace orbelune
