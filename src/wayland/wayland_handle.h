#pragma once
// Protocol objects owned by their holders: a WlHandle<wl_surface> destroys
// (or releases) its object with the protocol's own request when it goes.
#include <wayland-client.h>

#include <memory>

// The protocol names a parameter "namespace", which C++ reserves.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "ext-idle-notify-v1-client-protocol.h"
#include "ext-session-lock-v1-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace orbelune {

template <typename T>
struct WlDestroy;
template <typename T>
using WlHandle = std::unique_ptr<T, WlDestroy<T>>;

// Each object by the request that ends it.
#define ORBELUNE_WL_DESTROY(type, request) \
  template <>                              \
  struct WlDestroy<type> {                 \
    void operator()(type* object) const { request(object); } \
  }
ORBELUNE_WL_DESTROY(wl_display, wl_display_disconnect);
ORBELUNE_WL_DESTROY(wl_registry, wl_registry_destroy);
ORBELUNE_WL_DESTROY(wl_compositor, wl_compositor_destroy);
ORBELUNE_WL_DESTROY(wl_shm, wl_shm_destroy);
ORBELUNE_WL_DESTROY(wl_seat, wl_seat_release);
ORBELUNE_WL_DESTROY(wl_keyboard, wl_keyboard_release);
ORBELUNE_WL_DESTROY(wl_pointer, wl_pointer_release);
ORBELUNE_WL_DESTROY(wl_output, wl_output_release);
ORBELUNE_WL_DESTROY(wl_surface, wl_surface_destroy);
ORBELUNE_WL_DESTROY(wl_callback, wl_callback_destroy);
ORBELUNE_WL_DESTROY(zwlr_layer_shell_v1, zwlr_layer_shell_v1_destroy);
ORBELUNE_WL_DESTROY(zwlr_layer_surface_v1, zwlr_layer_surface_v1_destroy);
ORBELUNE_WL_DESTROY(xdg_wm_base, xdg_wm_base_destroy);
ORBELUNE_WL_DESTROY(xdg_surface, xdg_surface_destroy);
ORBELUNE_WL_DESTROY(xdg_toplevel, xdg_toplevel_destroy);
ORBELUNE_WL_DESTROY(wp_fractional_scale_manager_v1, wp_fractional_scale_manager_v1_destroy);
ORBELUNE_WL_DESTROY(wp_fractional_scale_v1, wp_fractional_scale_v1_destroy);
ORBELUNE_WL_DESTROY(wp_viewporter, wp_viewporter_destroy);
ORBELUNE_WL_DESTROY(wp_viewport, wp_viewport_destroy);
ORBELUNE_WL_DESTROY(ext_idle_notifier_v1, ext_idle_notifier_v1_destroy);
ORBELUNE_WL_DESTROY(ext_idle_notification_v1, ext_idle_notification_v1_destroy);
ORBELUNE_WL_DESTROY(org_kde_kwin_idle, org_kde_kwin_idle_destroy);
ORBELUNE_WL_DESTROY(org_kde_kwin_idle_timeout, org_kde_kwin_idle_timeout_release);
ORBELUNE_WL_DESTROY(ext_session_lock_manager_v1, ext_session_lock_manager_v1_destroy);
ORBELUNE_WL_DESTROY(ext_session_lock_surface_v1, ext_session_lock_surface_v1_destroy);
// (ext_session_lock_v1 has no handle: once locked, only unlock_and_destroy
// may end it, and a locker that never unlocks leaves it to the compositor.)
#undef ORBELUNE_WL_DESTROY

}  // namespace orbelune
