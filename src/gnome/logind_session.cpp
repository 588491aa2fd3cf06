#include "gnome/logind_session.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/unique_fd.h"
#include "gnome/private_bus.h"

namespace orbelune {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr const char* kBus = "org.freedesktop.DBus";
// How long a sleep waits for the lock to be up at most (logind's own bound,
// InhibitDelayMaxSec, is 5 s by default).
constexpr gint64 kSleepWaitUs = 3 * G_USEC_PER_SEC;

class LogindRequests final : public LockRequests {
 public:
  explicit LogindRequests(std::unique_ptr<PrivateBus> bus) : bus_(std::move(bus)) {}

  ~LogindRequests() override {
    for (guint s : subscriptions_) g_dbus_connection_signal_unsubscribe(bus_->connection(), s);
  }

  Result<void> start() {
    PrivateBus::Scope scope(*bus_);
    // Who owns logind's name now, and whoever owns it next: the bus itself
    // says so, and no peer can send as the bus.
    subscribe(kBus, kBus, "NameOwnerChanged", "/org/freedesktop/DBus", kLogind, &LogindRequests::ownerChanged);
    GError* error = nullptr;
    GVariant* owner = call(kBus, "/org/freedesktop/DBus", kBus, "GetNameOwner", g_variant_new("(s)", kLogind), "(s)",
                           &error);
    if (!owner) return Error{"logind does not answer on the system bus (" + takeMessage(error) + ")"};
    owner_ = variantString(owner);
    auto path = sessionPath();
    if (!path) return path.error();
    subscribe(nullptr, kSession, "Lock", path->c_str(), nullptr, &LogindRequests::lockSignal);
    subscribe(nullptr, kManager, "PrepareForSleep", kManagerPath, nullptr, &LogindRequests::sleepSignal);
    holdSleep();
    return {};
  }

  void prepare(std::vector<pollfd>& fds, int& timeoutMs) override {
    bus_->prepare(fds, timeoutMs);
    if (sleepDeadline_ > 0) {
      const gint64 left = std::max<gint64>(0, (sleepDeadline_ - g_get_monotonic_time() + 999) / 1000);
      if (timeoutMs < 0 || left < timeoutMs) timeoutMs = static_cast<int>(left);
    }
  }

  Result<bool> dispatch(std::vector<pollfd>& fds) override {
    bus_->dispatch(fds);
    if (bus_->closed()) return Error{"lost the connection to the system bus"};
    if (sleepDeadline_ > 0 && g_get_monotonic_time() >= sleepDeadline_) lockSettled();
    return std::exchange(asked_, false);
  }

  void lockSettled() override {
    sleepDeadline_ = 0;
    if (sleepingSoon_) inhibitor_.reset();  // the sleep goes on
  }

 private:
  using Handler = void (LogindRequests::*)(const gchar* sender, GVariant* parameters);
  struct Subscription {
    LogindRequests* self;
    Handler handler;
  };

  void subscribe(const char* sender, const char* interface, const char* member, const char* path, const char* arg0,
                 Handler handler) {
    subscriptions_.push_back(g_dbus_connection_signal_subscribe(
        bus_->connection(), sender, interface, member, path, arg0, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar* from, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            gpointer data) {
          auto* s = static_cast<Subscription*>(data);
          (s->self->*(s->handler))(from, parameters);
        },
        new Subscription{this, handler}, +[](gpointer data) { delete static_cast<Subscription*>(data); }));
  }

  // Only logind's own signals: the unique name that owns its well-known one.
  bool fromLogind(const gchar* sender) const { return sender && !owner_.empty() && owner_ == sender; }

  void ownerChanged(const gchar* sender, GVariant* parameters) {
    if (!sender || std::string(sender) != kBus) return;
    const gchar *name = nullptr, *before = nullptr, *now = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &before, &now);
    owner_ = now ? now : "";
    inhibitor_.reset();  // held by the logind that went
    if (!owner_.empty()) holdSleep();
  }

  void lockSignal(const gchar* sender, GVariant*) {
    if (fromLogind(sender)) asked_ = true;
  }

  void sleepSignal(const gchar* sender, GVariant* parameters) {
    if (!fromLogind(sender) || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean start = FALSE;
    g_variant_get(parameters, "(b)", &start);
    sleepingSoon_ = start;
    if (start) {
      asked_ = true;
      sleepDeadline_ = g_get_monotonic_time() + kSleepWaitUs;
    } else {
      sleepDeadline_ = 0;
      holdSleep();  // awake again: the next sleep waits for its lock too
    }
  }

  // A delay inhibitor on sleep, unless one is held.
  void holdSleep() {
    if (inhibitor_.valid()) return;
    GUnixFDList* fdsOut = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus_->connection(), kLogind, kManagerPath, kManager, "Inhibit",
        g_variant_new("(ssss)", "sleep", "orbelune", "Lock the screen before the computer sleeps", "delay"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, &fdsOut, nullptr, nullptr);
    if (reply) {
      gint32 index = -1;
      g_variant_get(reply, "(h)", &index);
      if (fdsOut) inhibitor_ = UniqueFd(g_unix_fd_list_get(fdsOut, index, nullptr));
      g_variant_unref(reply);
    }
    if (fdsOut) g_object_unref(fdsOut);
  }

  // This session's object path, or why there is none.
  Result<std::string> sessionPath() {
    GError* error = nullptr;
    const char* id = std::getenv("XDG_SESSION_ID");
    GVariant* reply =
        id && *id ? call(kLogind, kManagerPath, kManager, "GetSession", g_variant_new("(s)", id), "(o)", &error)
                  : call(kLogind, kManagerPath, kManager, "GetSessionByPID",
                         g_variant_new("(u)", static_cast<guint32>(getpid())), "(o)", &error);
    if (!reply) return Error{"logind knows no session of this process (" + takeMessage(error) + ")"};
    return variantString(reply);
  }

  GVariant* call(const char* name, const char* path, const char* interface, const char* method, GVariant* parameters,
                 const char* type, GError** error) {
    return g_dbus_connection_call_sync(bus_->connection(), name, path, interface, method, parameters, G_VARIANT_TYPE(type),
                                       G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, error);
  }

  // The one string (or object path) of a reply; frees the reply.
  static std::string variantString(GVariant* reply) {
    GVariant* child = g_variant_get_child_value(reply, 0);
    std::string s = g_variant_get_string(child, nullptr);
    g_variant_unref(child);
    g_variant_unref(reply);
    return s;
  }

  std::unique_ptr<PrivateBus> bus_;
  std::vector<guint> subscriptions_;
  std::string owner_;         // logind's unique name; empty while none owns it
  UniqueFd inhibitor_;        // the delay inhibitor on sleep
  bool asked_ = false;        // a signal asked to lock since the last dispatch
  bool sleepingSoon_ = false; // PrepareForSleep(true) came, and no resume yet
  gint64 sleepDeadline_ = 0;  // when the sleep goes on without the lock; 0: none waits
};

}  // namespace

Result<std::unique_ptr<LockRequests>> makeLogindLockRequests() {
  auto bus = PrivateBus::open(G_BUS_TYPE_SYSTEM);
  if (!bus) return Error{"no system bus (" + bus.error().message + ")"};
  auto requests = std::make_unique<LogindRequests>(std::move(*bus));
  if (auto started = requests->start(); !started) return started.error();
  return std::unique_ptr<LockRequests>(std::move(requests));
}

}  // namespace orbelune
