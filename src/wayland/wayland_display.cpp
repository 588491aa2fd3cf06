#include "wayland/wayland_display.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace orbelune {
namespace {

template <typename T>
T* bindGlobal(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t version) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, version));
}

constexpr xdg_wm_base_listener kWmBase{
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

}  // namespace

WaylandDisplay::WaylandDisplay() : display_(wl_display_connect(nullptr)) {}

void WaylandDisplay::bind(Wants wants, OutputEvents outputs) {
  wants_ = wants;
  outputs_ = std::move(outputs);
  static constexpr wl_registry_listener listener{
      .global = onGlobal,
      .global_remove = onGlobalRemove,
  };
  registry_.reset(wl_display_get_registry(display_.get()));
  wl_registry_add_listener(registry_.get(), &listener, this);
  wl_display_roundtrip(display_.get());
}

void WaylandDisplay::onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                              uint32_t version) {
  auto* d = static_cast<WaylandDisplay*>(data);
  const std::string_view iface = interface;
  if (iface == wl_compositor_interface.name) {
    d->compositor_.reset(bindGlobal<wl_compositor>(registry, name, wl_compositor_interface, 4));
  } else if (iface == wl_shm_interface.name) {
    d->shm_.reset(bindGlobal<wl_shm>(registry, name, wl_shm_interface, 1));
  } else if (iface == zwlr_layer_shell_v1_interface.name) {
    d->layerShell_.reset(
        bindGlobal<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, std::min(version, 4u)));
  } else if (iface == xdg_wm_base_interface.name) {
    d->wmBase_.reset(bindGlobal<xdg_wm_base>(registry, name, xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(d->wmBase_.get(), &kWmBase, d);
  } else if (iface == wp_fractional_scale_manager_v1_interface.name) {
    d->fractionalScales_.reset(
        bindGlobal<wp_fractional_scale_manager_v1>(registry, name, wp_fractional_scale_manager_v1_interface, 1));
  } else if (iface == wp_viewporter_interface.name) {
    d->viewporter_.reset(bindGlobal<wp_viewporter>(registry, name, wp_viewporter_interface, 1));
  } else if (iface == wl_seat_interface.name && d->wants_.seat && d->outputs_.seatAdded) {
    d->outputs_.seatAdded(name, bindGlobal<wl_seat>(registry, name, wl_seat_interface, std::min(version, 5u)));
  } else if (iface == wl_seat_interface.name && !d->seat_ && d->wants_.seat) {
    d->seat_.reset(bindGlobal<wl_seat>(registry, name, wl_seat_interface, std::min(version, 5u)));
  } else if (iface == wl_output_interface.name) {
    if (version < 3) return;  // wl_output.release and the done event
    if (d->outputs_.added) d->outputs_.added(name, bindGlobal<wl_output>(registry, name, wl_output_interface, 3));
  } else if (iface == ext_idle_notifier_v1_interface.name && d->wants_.idle) {
    d->idleNotifier_.reset(bindGlobal<ext_idle_notifier_v1>(registry, name, ext_idle_notifier_v1_interface, 1));
  } else if (iface == org_kde_kwin_idle_interface.name && d->wants_.idle) {
    d->kdeIdle_.reset(bindGlobal<org_kde_kwin_idle>(registry, name, org_kde_kwin_idle_interface, 1));
  } else if (iface == ext_session_lock_manager_v1_interface.name && d->wants_.sessionLock) {
    d->lockManager_.reset(
        bindGlobal<ext_session_lock_manager_v1>(registry, name, ext_session_lock_manager_v1_interface, 1));
  }
}

void WaylandDisplay::onGlobalRemove(void* data, wl_registry*, uint32_t name) {
  auto* d = static_cast<WaylandDisplay*>(data);
  if (d->outputs_.removed) d->outputs_.removed(name);
}

bool WaylandDisplay::flushAll() {
  wl_display* display = display_.get();
  while (wl_display_flush(display) < 0) {
    if (errno != EAGAIN) return false;
    // While the compositor is slow to take more, what it sends is read (and
    // queued, not dispatched: the caller may be midway through a surface),
    // so that it never finds this client's socket full in turn.
    const bool reading = wl_display_prepare_read(display) == 0;
    pollfd fd{wl_display_get_fd(display), static_cast<short>(POLLOUT | (reading ? POLLIN : 0)), 0};
    const int ready = poll(&fd, 1, 1000);
    if (ready < 0 && errno != EINTR) {
      if (reading) wl_display_cancel_read(display);
      return false;
    }
    if (reading) {
      if (ready > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR))) {
        if (wl_display_read_events(display) < 0) return false;
      } else {
        wl_display_cancel_read(display);
      }
    }
    if (fd.revents & (POLLERR | POLLHUP)) return false;
  }
  return true;
}

bool WaylandDisplay::exchange(std::vector<pollfd>& fds, int timeoutMs) {
  wl_display* display = display_.get();
  while (wl_display_prepare_read(display) != 0) {
    if (wl_display_dispatch_pending(display) < 0) return false;
  }
  // A failed flush other than a full socket (EPIPE when the compositor hung
  // up after a protocol error) still reads what came, so that the error
  // itself is known.
  bool unsent = false;
  if (wl_display_flush(display) < 0) unsent = errno == EAGAIN;
  fds[0] = {wl_display_get_fd(display), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
  const int ready = poll(fds.data(), fds.size(), timeoutMs);
  if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
    if (wl_display_read_events(display) < 0) return false;
  } else {
    wl_display_cancel_read(display);
  }
  return wl_display_dispatch_pending(display) >= 0;
}

std::string WaylandDisplay::failure() const {
  const int error = wl_display_get_error(display_.get());
  if (error == 0) return {};
  if (error != EPROTO) return strerror(error);
  const wl_interface* interface = nullptr;
  uint32_t id = 0;
  const uint32_t code = wl_display_get_protocol_error(display_.get(), &interface, &id);
  return "protocol error " + std::to_string(code) + " on " + (interface ? interface->name : "an unknown object") +
         "@" + std::to_string(id);
}

}  // namespace orbelune
