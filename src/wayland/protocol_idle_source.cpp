#include "wayland/protocol_idle_source.h"

namespace orbelune {
namespace {

ProtocolIdleSource* sourceOf(void* data) { return static_cast<ProtocolIdleSource*>(data); }

constexpr ext_idle_notification_v1_listener kNotification{
    .idled = [](void* data, ext_idle_notification_v1*) { sourceOf(data)->setIdle(true); },
    .resumed = [](void* data, ext_idle_notification_v1*) { sourceOf(data)->setIdle(false); },
};

constexpr org_kde_kwin_idle_timeout_listener kKdeTimeout{
    .idle = [](void* data, org_kde_kwin_idle_timeout*) { sourceOf(data)->setIdle(true); },
    .resumed = [](void* data, org_kde_kwin_idle_timeout*) { sourceOf(data)->setIdle(false); },
};

}  // namespace

ProtocolIdleSource::ProtocolIdleSource(ext_idle_notifier_v1* notifier, org_kde_kwin_idle* kdeIdle, wl_seat* seat,
                                       double afterSeconds) {
  const auto ms = static_cast<uint32_t>(afterSeconds * 1000.0);
  if (notifier) {
    notification_.reset(ext_idle_notifier_v1_get_idle_notification(notifier, ms, seat));
    ext_idle_notification_v1_add_listener(notification_.get(), &kNotification, this);
  } else {
    kdeTimeout_.reset(org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, ms));
    org_kde_kwin_idle_timeout_add_listener(kdeTimeout_.get(), &kKdeTimeout, this);
  }
}

}  // namespace orbelune
