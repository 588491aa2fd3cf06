#include "wayland/output_surface.h"

#include <algorithm>

namespace orbelune {
namespace {

// A commit carries at most this many damage boxes (one request each); past
// it, their bounds. Thousands of boxes on a large output would fill the
// socket with requests the compositor gains little from.
constexpr std::size_t kMostDamageBoxes = 64;

OutputSurface* surfaceOf(void* data) { return static_cast<OutputSurface*>(data); }

constexpr wl_output_listener kOutput{
    .geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t) {},
    .mode = [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
    .done = [](void* data, wl_output*) { surfaceOf(data)->described = true; },
    .scale = [](void* data, wl_output*, int32_t factor) { surfaceOf(data)->scale = std::max(factor, 1); },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

constexpr zwlr_layer_surface_v1_listener kLayer{
    .configure =
        [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t w, uint32_t h) {
          auto* o = surfaceOf(data);
          o->width = static_cast<int>(w);
          o->height = static_cast<int>(h);
          o->configureSerial = serial;
        },
    .closed = [](void* data, zwlr_layer_surface_v1*) { surfaceOf(data)->closed = true; },
};

constexpr ext_session_lock_surface_v1_listener kLockSurface{
    .configure =
        [](void* data, ext_session_lock_surface_v1*, uint32_t serial, uint32_t w, uint32_t h) {
          auto* o = surfaceOf(data);
          o->width = static_cast<int>(w);
          o->height = static_cast<int>(h);
          o->configureSerial = serial;
        },
};

constexpr wp_fractional_scale_v1_listener kFractionalScale{
    .preferred_scale =
        [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
          auto* o = surfaceOf(data);
          if (scale == o->preferredScale) return;
          o->preferredScale = scale;
          o->rescaled = true;
        },
};

constexpr wl_callback_listener kFrame{
    .done =
        [](void* data, wl_callback*, uint32_t) {
          auto* o = surfaceOf(data);
          o->frameCallback.reset();
          o->frameReady = true;
          o->presented = true;
        },
};

constexpr xdg_surface_listener kXdgSurface{
    .configure = [](void* data, xdg_surface*, uint32_t serial) { surfaceOf(data)->configureSerial = serial; },
};

constexpr xdg_toplevel_listener kToplevel{
    .configure =
        [](void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
          auto* o = surfaceOf(data);
          // 0 leaves the size to the client: the usual window size then.
          o->width = w > 0 ? w : (o->width > 0 ? o->width : 960);
          o->height = h > 0 ? h : (o->height > 0 ? o->height : 540);
        },
    .close = [](void* data, xdg_toplevel*) { surfaceOf(data)->closed = true; },
    .configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

}  // namespace

OutputSurface::OutputSurface(uint32_t name, wl_output* bound) : globalName(name), output(bound) {
  wl_output_add_listener(output.get(), &kOutput, this);
}

void OutputSurface::makeSurface(const WaylandDisplay& display) {
  surface.reset(wl_compositor_create_surface(display.compositor()));
  if (!display.fractionalScales() || !display.viewporter()) return;
  fractionalScale.reset(wp_fractional_scale_manager_v1_get_fractional_scale(display.fractionalScales(), surface.get()));
  wp_fractional_scale_v1_add_listener(fractionalScale.get(), &kFractionalScale, this);
  viewport.reset(wp_viewporter_get_viewport(display.viewporter(), surface.get()));
}

void OutputSurface::coverWithLayer(const WaylandDisplay& display, bool background) {
  makeSurface(display);
  const auto level = background ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
  layer.reset(
      zwlr_layer_shell_v1_get_layer_surface(display.layerShell(), surface.get(), output.get(), level, "orbelune"));
  zwlr_layer_surface_v1_set_anchor(layer.get(), ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                    ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer.get(), -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layer.get(), background ? 0 : 1);
  if (background) {
    // Clicks go through to whatever is above: an empty input region.
    wl_region* none = wl_compositor_create_region(display.compositor());
    wl_surface_set_input_region(surface.get(), none);
    wl_region_destroy(none);
  }
  zwlr_layer_surface_v1_add_listener(layer.get(), &kLayer, this);
  wl_surface_commit(surface.get());
}

void OutputSurface::coverWithToplevel(const WaylandDisplay& display, bool fullscreen, wl_output* fullscreenOn) {
  makeSurface(display);
  xdgSurface.reset(xdg_wm_base_get_xdg_surface(display.wmBase(), surface.get()));
  xdg_surface_add_listener(xdgSurface.get(), &kXdgSurface, this);
  toplevel.reset(xdg_surface_get_toplevel(xdgSurface.get()));
  xdg_toplevel_add_listener(toplevel.get(), &kToplevel, this);
  xdg_toplevel_set_title(toplevel.get(), "Orbelune");
  xdg_toplevel_set_app_id(toplevel.get(), "orbelune");
  if (fullscreen) xdg_toplevel_set_fullscreen(toplevel.get(), fullscreenOn);
  wl_surface_commit(surface.get());
}

void OutputSurface::coverWithLockSurface(const WaylandDisplay& display, ext_session_lock_v1* lock) {
  makeSurface(display);
  lockSurface.reset(ext_session_lock_v1_get_lock_surface(lock, surface.get(), output.get()));
  ext_session_lock_surface_v1_add_listener(lockSurface.get(), &kLockSurface, this);
}

void OutputSurface::uncover() {
  frameCallback.reset();
  view.reset();
  viewport.reset();
  fractionalScale.reset();
  // The role's objects before the surface they are roles of.
  toplevel.reset();
  xdgSurface.reset();
  layer.reset();
  lockSurface.reset();
  surface.reset();
  preferredScale = 0;
  rescaled = false;
  bufferScale = KeptState<int32_t>(1);
  destination = KeptState<PixelSize>();
  buffers = ShmBufferPool();
  lastDamage.clear();
  configureSerial.reset();
  configured = false;
  frameReady = true;
  closed = false;
  presented = false;
}

bool OutputSurface::acknowledge() {
  if (!configureSerial) return false;
  if (layer) zwlr_layer_surface_v1_ack_configure(layer.get(), *configureSerial);
  if (xdgSurface) xdg_surface_ack_configure(xdgSurface.get(), *configureSerial);
  if (lockSurface) ext_session_lock_surface_v1_ack_configure(lockSurface.get(), *configureSerial);
  configureSerial.reset();
  configured = true;
  // A configured surface shows its first frame (or its new size) at once.
  frameReady = frameReady || !view;
  return true;
}

Result<void> OutputSurface::draw(HostCore& core, WaylandDisplay& display) {
  if (!configured || width <= 0 || height <= 0 || !frameReady) return {};
  // The buffer is in device pixels; lines and text grow with the surface's scale.
  const SurfaceScale chosen = SurfaceScale::choose(viewport != nullptr, preferredScale, scale);
  const auto [w, h] = chosen.bufferSize(width, height);
  if (w <= 0 || h <= 0) return {};
  if (auto sized = buffers.resize(display.shm(), w, h); !sized) return sized;
  const Size size{static_cast<double>(w), static_cast<double>(h)};
  if (!view) {
    auto made = core.makeView(size, false, chosen.pixelsPerPoint());
    if (!made) return made.error();
    view = std::move(*made);
  }
  view->setHostScale(chosen.pixelsPerPoint());
  view->resize(size);
  ShmBuffer* buffer = buffers.free();
  if (!buffer) return {};  // the compositor holds both: skip this tick
  if (view->drawFrame(buffer->graphics()) != DrawOutcome::Drawn) return {};
  if (overlay) overlay(buffer->graphics(), *view);
  // What earlier surfaces queued goes first, so that this one's requests never
  // find libwayland's buffer and the socket full (which it takes as fatal).
  if (!display.flushAll()) return HostCore::connectionLost(kCompositor, display.failure());
  // The buffers take turns, so this one differs from the one shown in what
  // either of the last two frames changed.
  // Every box is a request of its own: fewer, larger boxes.
  std::vector<PixelBox> damage = buffer->graphics().takeDamage(DamageGrid::kTilesPerRequestBox);
  std::vector<PixelBox> both = damage;
  both.insert(both.end(), lastDamage.begin(), lastDamage.end());
  lastDamage = std::move(damage);
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
  if (bufferScale.changeTo(chosen.bufferScale())) wl_surface_set_buffer_scale(surface.get(), chosen.bufferScale());
  if (viewport && destination.changeTo(PixelSize{width, height})) {
    wp_viewport_set_destination(viewport.get(), width, height);
  }
  wl_surface_attach(surface.get(), buffer->attachable(), 0, 0);
  for (const auto& b : both) wl_surface_damage_buffer(surface.get(), b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
  frameReady = false;
  frameCallback.reset(wl_surface_frame(surface.get()));
  wl_callback_add_listener(frameCallback.get(), &kFrame, this);
  wl_surface_commit(surface.get());
  return {};
}

}  // namespace orbelune
