#pragma once
// The compositor's idle time as an idle source: ext-idle-notify-v1 where
// offered, else KDE's idle protocol (KWin, sway 1.7). The compositor's clock
// honours idle inhibitors (a playing video's, its own); its events arrive on
// the display's connection, which the host dispatches.
#include <wayland-client.h>

#include <cstdint>
#include <memory>

#include "host/idle_source.h"
#include "wayland/wayland_handle.h"

namespace orbelune {

class ProtocolIdleSource final : public IdleSource {
 public:
  // A source for `afterSeconds` on `seat`, through the newer protocol of the
  // two given (either may be null, not both).
  ProtocolIdleSource(ext_idle_notifier_v1* notifier, org_kde_kwin_idle* kdeIdle, wl_seat* seat, double afterSeconds);
  ProtocolIdleSource(const ProtocolIdleSource&) = delete;
  ProtocolIdleSource& operator=(const ProtocolIdleSource&) = delete;

  void prepare(std::vector<pollfd>&, int&) override {}
  Result<void> dispatch(std::vector<pollfd>&) override { return {}; }
  bool idle() const override { return idle_; }
  void shown() override {}
  // The compositor says "resumed" on the input that hid it; until it says
  // "idled" again, the session is not idle.
  void hidden() override { idle_ = false; }

  // What the compositor's listeners record.
  void setIdle(bool idle) { idle_ = idle; }

 private:
  WlHandle<ext_idle_notification_v1> notification_;
  WlHandle<org_kde_kwin_idle_timeout> kdeTimeout_;
  bool idle_ = false;
};

}  // namespace orbelune
