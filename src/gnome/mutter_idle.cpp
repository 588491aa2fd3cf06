#include "gnome/mutter_idle.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdint>
#include <string>

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
  MutterIdleSource(GMainContext* context, GDBusConnection* bus, double afterSeconds, HostCore& core)
      : context_(context), bus_(bus), afterMs_(static_cast<guint64>(afterSeconds * 1000.0)), core_(core) {}

  ~MutterIdleSource() override {
    if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    if (closedHandler_) g_signal_handler_disconnect(bus_, closedHandler_);
    g_object_unref(bus_);
    g_main_context_release(context_);
    g_main_context_unref(context_);
  }

  Result<void> start() {
    g_main_context_acquire(context_);
    closedHandler_ = g_signal_connect(bus_, "closed", G_CALLBACK(+[](GDBusConnection*, gboolean, GError*, gpointer self) {
                                        static_cast<MutterIdleSource*>(self)->gone_ = true;
                                      }),
                                      this);
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_, kMonitorName, kMonitorName, "WatchFired", kMonitorPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
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
    g_main_context_prepare(context_, &priority_);
    gint timeout = -1;
    GPollFD polled[16];
    const gint n = g_main_context_query(context_, priority_, &timeout, polled, 16);
    first_ = fds.size();
    count_ = static_cast<std::size_t>(std::min(n, 16));
    for (std::size_t i = 0; i < count_; ++i) fds.push_back({polled[i].fd, static_cast<short>(polled[i].events), 0});
    if (timeout >= 0 && (timeoutMs < 0 || timeout < timeoutMs)) timeoutMs = timeout;
    if (idle_ && inhibited_ && (timeoutMs < 0 || timeoutMs > kInhibitedRecheckMs)) timeoutMs = kInhibitedRecheckMs;
  }

  Result<void> dispatch(std::vector<pollfd>& fds) override {
    GPollFD polled[16];
    for (std::size_t i = 0; i < count_; ++i) {
      polled[i] = {fds[first_ + i].fd, static_cast<gushort>(fds[first_ + i].events),
                   static_cast<gushort>(fds[first_ + i].revents)};
    }
    if (g_main_context_check(context_, priority_, polled, static_cast<gint>(count_))) g_main_context_dispatch(context_);
    if (gone_) return HostCore::connectionLost("the session bus");
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
    GVariant* reply = g_dbus_connection_call_sync(bus_, kSessionManager, "/org/gnome/SessionManager", kSessionManager,
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
    GVariant* reply = g_dbus_connection_call_sync(bus_, kMonitorName, kMonitorPath, kMonitorName, method, parameters,
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

  GMainContext* context_;
  GDBusConnection* bus_;
  guint64 afterMs_;
  HostCore& core_;  // says what went wrong
  guint subscription_ = 0;
  gulong closedHandler_ = 0;
  guint32 idleWatch_ = 0;
  guint32 activeWatch_ = 0;
  bool idle_ = false;
  bool inhibited_ = false;
  bool shown_ = false;
  bool gone_ = false;
  gint priority_ = 0;
  std::size_t first_ = 0, count_ = 0;
};

}  // namespace

Result<std::unique_ptr<IdleSource>> makeMutterIdleSource(double afterSeconds, HostCore& core) {
  // A connection of its own, dispatched in a context of its own, which the
  // host's loop drives: nothing runs behind its back.
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  GDBusConnection* bus = nullptr;
  if (address) {
    bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
  }
  if (error) g_error_free(error);
  bool present = false;
  if (bus) {
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", kMonitorName), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply) {
      gboolean has = FALSE;
      g_variant_get(reply, "(b)", &has);
      present = has;
      g_variant_unref(reply);
    }
  }
  Result<std::unique_ptr<IdleSource>> made = std::unique_ptr<IdleSource>();
  if (present) {
    auto source = std::make_unique<MutterIdleSource>(context, bus, afterSeconds, core);
    if (auto started = source->start(); started) {
      made = std::unique_ptr<IdleSource>(std::move(source));
    } else {
      made = started.error();
    }
  } else {
    if (bus) g_object_unref(bus);
    g_main_context_unref(context);
  }
  g_main_context_pop_thread_default(context);
  return made;
}

}  // namespace orbelune
