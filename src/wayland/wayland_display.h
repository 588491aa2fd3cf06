#pragma once
// The connection to the compositor and the globals the hosts bind from its
// registry: compositor, shm, layer shell, xdg_wm_base (answering its pings),
// fractional scale and viewporter, the seat, the idle protocols and the
// session lock when asked for, and the outputs as they come and go (told to the owner).
#include <wayland-client.h>

#include <poll.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wayland/wayland_handle.h"

namespace orbelune {

// The server, as the host's messages name it.
inline constexpr const char* kCompositor = "the Wayland compositor";

class WaylandDisplay {
 public:
  struct Wants {
    bool seat = true;  // the input of a figure that takes it
    bool idle = false;  // ext-idle-notify-v1 and KDE's idle protocol
    bool sessionLock = false;  // ext-session-lock-v1
  };
  // Outputs as the registry announces them: a new wl_output (bound at
  // version 3, for release and done) and a global name gone (any global's:
  // a seat's too). With `seatAdded`, every seat goes to it, the owner's to
  // release, instead of the first one alone to seat().
  struct OutputEvents {
    std::function<void(uint32_t name, wl_output* output)> added;
    std::function<void(uint32_t name)> removed;
    std::function<void(uint32_t name, wl_seat* seat)> seatAdded = {};
  };

  // Connects to $WAYLAND_DISPLAY; connected() says whether it could.
  WaylandDisplay();
  bool connected() const { return display_ != nullptr; }
  // Binds the globals (one roundtrip); the outputs go to `outputs` from now on.
  void bind(Wants wants, OutputEvents outputs);

  wl_display* display() const { return display_.get(); }
  wl_compositor* compositor() const { return compositor_.get(); }
  wl_shm* shm() const { return shm_.get(); }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_.get(); }
  xdg_wm_base* wmBase() const { return wmBase_.get(); }
  wp_fractional_scale_manager_v1* fractionalScales() const { return fractionalScales_.get(); }
  wp_viewporter* viewporter() const { return viewporter_.get(); }
  wl_seat* seat() const { return seat_.get(); }
  ext_idle_notifier_v1* idleNotifier() const { return idleNotifier_.get(); }
  org_kde_kwin_idle* kdeIdle() const { return kdeIdle_.get(); }
  ext_session_lock_manager_v1* lockManager() const { return lockManager_.get(); }

  // Sends every queued request, waiting while the compositor's socket is full
  // (it reads it when it can); false when the connection failed.
  bool flushAll();
  // One turn of a host's loop: sends what is queued, waits up to `timeoutMs`
  // (-1: no limit) for the compositor's events or for one of the host's own
  // descriptors in `fds` (fds[0] is the connection's, filled in here), then
  // reads and dispatches what the compositor sent. While the compositor's
  // socket is full the wait is for it to take more as well, reading its
  // events meanwhile, so neither side waits for the other. A signal ends the
  // wait early. False when the connection failed (failure() says how).
  bool exchange(std::vector<pollfd>& fds, int timeoutMs);
  // Why the connection failed, for the line that says so: the protocol
  // error the compositor sent (interface, code, object) or the system's
  // error; empty while it is fine.
  std::string failure() const;

 private:
  static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);

  // Declared first, destroyed last.
  WlHandle<wl_display> display_;
  WlHandle<wl_registry> registry_;
  WlHandle<wl_compositor> compositor_;
  WlHandle<wl_shm> shm_;
  WlHandle<zwlr_layer_shell_v1> layerShell_;
  WlHandle<xdg_wm_base> wmBase_;
  WlHandle<wp_fractional_scale_manager_v1> fractionalScales_;
  WlHandle<wp_viewporter> viewporter_;
  WlHandle<wl_seat> seat_;
  WlHandle<ext_idle_notifier_v1> idleNotifier_;
  WlHandle<org_kde_kwin_idle> kdeIdle_;
  WlHandle<ext_session_lock_manager_v1> lockManager_;
  Wants wants_;
  OutputEvents outputs_;
};

}  // namespace orbelune
