#include "gnome/mutter_idle.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "gnome/private_bus.h"

namespace orbelune {
namespace {

constexpr const char* kMonitorName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kMonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* kSessionManager = "org.gnome.SessionManager";
// GSM_INHIBITOR_FLAG_IDLE: "do not consider the session idle".
constexpr guint32 kInhibitIdle = 8;
// While idle but inhibited, how often to look again whether the inhibitor went.
constexpr gint kInhibitedRecheckMs = 10000;

class MutterIdleSource final : public IdleSource {
 public:
  MutterIdleSource(std::unique_ptr<PrivateBus> bus, double afterSeconds, HostCore& core)
      : bus_(std::move(bus)), afterMs_(static_cast<guint64>(afterSeconds * 1000.0)), core_(core) {}

  ~MutterIdleSource() override {
    if (subscription_) g_dbus_connection_signal_unsubscribe(bus_->connection(), subscription_);
  }

  Result<void> start() {
    PrivateBus::Scope scope(*bus_);
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_->connection(), kMonitorName, kMonitorName, "WatchFired", kMonitorPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            gpointer self) {
          guint32 id = 0;
          g_variant_get(parameters, "(u)", &id);
          static_cast<MutterIdleSource*>(self)->fired(id);
        },
        this, nullptr);
    // A watch fires when the idle time crosses its time: one that has already
    // passed it is read here.
    auto idleMs = callUint64("GetIdletime", nullptr);
    if (!idleMs) return idleMs.error();
    auto watch = callUint32("AddIdleWatch", g_variant_new("(t)", afterMs_));
    if (!watch) return watch.error();
    idleWatch_ = *watch;
    idle_ = *idleMs >= afterMs_;
    return {};
  }

  void prepare(std::vector<pollfd>& fds, int& timeoutMs) override {
    bus_->prepare(fds, timeoutMs);
    if (idle_ && inhibited_ && (timeoutMs < 0 || timeoutMs > kInhibitedRecheckMs)) timeoutMs = kInhibitedRecheckMs;
  }

  Result<void> dispatch(std::vector<pollfd>& fds) override {
    bus_->dispatch(fds);
    if (bus_->closed()) return HostCore::connectionLost("the session bus");
    if (idle_ && !shown_) inhibited_ = isInhibited();
    return {};
  }

  bool idle() const override { return idle_ && !inhibited_; }

  void shown() override {
    shown_ = true;
    if (auto id = callUint32("AddUserActiveWatch", nullptr)) {
      activeWatch_ = *id;
    } else {
      core_.say(id.error().message);
    }
  }

  void hidden() override {
    shown_ = false;
    idle_ = false;
  }

 private:
  void fired(guint32 id) {
    if (id == idleWatch_) idle_ = true;
    if (id == activeWatch_ && activeWatch_ != 0) {
      activeWatch_ = 0;  // a user-active watch fires once
      idle_ = false;
    }
  }

  // org.gnome.SessionManager's word on idle inhibitors; none without the service.
  bool isInhibited() {
    GVariant* reply = g_dbus_connection_call_sync(bus_->connection(), kSessionManager, "/org/gnome/SessionManager", kSessionManager,
                                                  "IsInhibited", g_variant_new("(u)", kInhibitIdle),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr,
                                                  nullptr);
    if (!reply) return false;
    gboolean inhibited = FALSE;
    g_variant_get(reply, "(b)", &inhibited);
    g_variant_unref(reply);
    return inhibited;
  }

  // A method of the idle monitor whose reply is one number, of the D-Bus type
  // `type` ("(t)", "(u)"); or why there is none.
  template <typename T>
  Result<T> callNumber(const char* method, GVariant* parameters, const char* type) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus_->connection(), kMonitorName, kMonitorPath, kMonitorName, method, parameters,
                                                  G_VARIANT_TYPE(type), G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr,
                                                  &error);
    if (!reply) {
      Error why{std::string("Mutter's idle monitor did not answer ") + method + ": " +
                (error ? error->message : "no reply")};
      if (error) g_error_free(error);
      return why;
    }
    T v = 0;
    g_variant_get(reply, type, &v);
    g_variant_unref(reply);
    return v;
  }
  Result<guint64> callUint64(const char* method, GVariant* parameters) {
    return callNumber<guint64>(method, parameters, "(t)");
  }
  Result<guint32> callUint32(const char* method, GVariant* parameters) {
    return callNumber<guint32>(method, parameters, "(u)");
  }

  std::unique_ptr<PrivateBus> bus_;
  guint64 afterMs_;
  HostCore& core_;  // says what went wrong
  guint subscription_ = 0;
  guint32 idleWatch_ = 0;
  guint32 activeWatch_ = 0;
  bool idle_ = false;
  bool inhibited_ = false;
  bool shown_ = false;
};

}  // namespace

Result<std::unique_ptr<IdleSource>> makeMutterIdleSource(double afterSeconds, HostCore& core) {
  auto bus = PrivateBus::open(G_BUS_TYPE_SESSION);
  if (!bus) return std::unique_ptr<IdleSource>();  // no session bus: no Mutter
  GVariant* reply = g_dbus_connection_call_sync((*bus)->connection(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner",
                                                g_variant_new("(s)", kMonitorName), G_VARIANT_TYPE("(b)"),
                                                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  gboolean present = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &present);
    g_variant_unref(reply);
  }
  if (!present) return std::unique_ptr<IdleSource>();
  auto source = std::make_unique<MutterIdleSource>(std::move(*bus), afterSeconds, core);
  if (auto started = source->start(); !started) return started.error();
  return std::unique_ptr<IdleSource>(std::move(source));
}

}  // namespace orbelune
