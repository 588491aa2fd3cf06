#pragma once
// One output and the surface that covers it (or the one window of its own):
// the layer surface or xdg toplevel, its fractional scale and viewport, its
// buffers, its view; every protocol object an RAII handle. Listeners only
// record what the compositor said; the host's loop acts on it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "host/host_core.h"
#include "wayland/shm_buffer.h"
#include "wayland/surface_scale.h"
#include "wayland/wayland_display.h"
#include "wayland/wayland_handle.h"

namespace orbelune {

struct OutputSurface {
  uint32_t globalName = 0;
  WlHandle<wl_output> output;
  int32_t scale = 1;  // the output's whole-number scale (wl_output.scale)
  // What the listeners recorded for the loop to act on.
  bool described = false;  // the output sent its done event
  bool removed = false;    // its global went away

  // The surface and what it is shown as (all empty while uncovered).
  WlHandle<wl_surface> surface;
  // Where the compositor offers fractional scales: the surface's preferred
  // scale (0 until it says one) and the viewport it is shown through.
  WlHandle<wp_fractional_scale_v1> fractionalScale;
  WlHandle<wp_viewport> viewport;
  WlHandle<zwlr_layer_surface_v1> layer;
  WlHandle<xdg_surface> xdgSurface;  // a window's
  WlHandle<xdg_toplevel> toplevel;
  WlHandle<ext_session_lock_surface_v1> lockSurface;  // the lock screen's
  WlHandle<wl_callback> frameCallback;
  uint32_t preferredScale = 0;
  bool rescaled = false;  // recorded: a new preferred scale, to draw at once
  KeptState<int32_t> bufferScale{1};  // what wl_surface.set_buffer_scale said last
  KeptState<PixelSize> destination;   // what the viewport was told last
  int width = 0, height = 0;          // logical, from the compositor's configure
  std::optional<uint32_t> configureSerial;  // recorded: a configure to acknowledge
  bool configured = false;
  bool frameReady = true;   // the compositor asked for a frame (or none was sent yet)
  bool closed = false;      // recorded: the compositor closed the surface
  bool presented = false;   // recorded: the compositor took a frame of the view's
  // For a host that keeps going when one output cannot be drawn (its buffer
  // could not be had): the last draw failed, and when to try again.
  bool drawFailed = false;
  double drawAgainAt = 0.0;
  ShmBufferPool buffers;
  std::vector<PixelBox> lastDamage;  // what the buffer shown before differed in
  std::unique_ptr<SessionView> view;
  // Drawn over each frame of the view (the lock screen's prompt), in the
  // view's coordinates.
  std::function<void(Graphics&, const SessionView&)> overlay;

  OutputSurface() = default;
  OutputSurface(uint32_t name, wl_output* bound);
  OutputSurface(const OutputSurface&) = delete;
  OutputSurface& operator=(const OutputSurface&) = delete;
  ~OutputSurface() { uncover(); }

  // A full-size layer surface on this output: the overlay, taking the
  // keyboard, or the background, taking no input.
  void coverWithLayer(const WaylandDisplay& display, bool background);
  // An xdg toplevel titled "Orbelune", full screen on `fullscreenOn` when
  // given (nullptr with `fullscreen`: where the compositor likes).
  void coverWithToplevel(const WaylandDisplay& display, bool fullscreen, wl_output* fullscreenOn);
  // The surface of `lock` on this output: the compositor sizes it to the
  // output and shows it in place of the session while locked.
  void coverWithLockSurface(const WaylandDisplay& display, ext_session_lock_v1* lock);
  // Takes the surface away, keeping the output.
  void uncover();
  // Acknowledges a configure the compositor sent; true when there was one.
  bool acknowledge();
  // A frame of the view, when the compositor asked for one, presented with
  // the damage of the last two frames; or why not: the connection failed, or
  // no buffers or view could be made.
  Result<void> draw(HostCore& core, WaylandDisplay& display);

 private:
  void makeSurface(const WaylandDisplay& display);
};

}  // namespace orbelune
