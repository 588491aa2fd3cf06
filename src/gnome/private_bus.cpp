#include "gnome/private_bus.h"

#include <algorithm>

namespace orbelune {

std::string takeMessage(GError* error) {
  std::string text = error ? error->message : "no reply";
  if (error) g_error_free(error);
  return text;
}

Result<std::unique_ptr<PrivateBus>> PrivateBus::open(GBusType type) {
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(type, nullptr, &error);
  if (!address) return Error{takeMessage(error)};
  GMainContext* context = g_main_context_new();
  // The connection's own sources (its "closed" signal) belong to the
  // context that is the thread's default while it is made.
  g_main_context_push_thread_default(context);
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  std::unique_ptr<PrivateBus> bus;
  if (connection) bus.reset(new PrivateBus(context, connection));
  g_main_context_pop_thread_default(context);
  if (!bus) {
    g_main_context_unref(context);
    return Error{takeMessage(error)};
  }
  return bus;
}

PrivateBus::PrivateBus(GMainContext* context, GDBusConnection* connection)
    : context_(context), connection_(connection) {
  g_main_context_acquire(context_);
  closedHandler_ = g_signal_connect(connection_, "closed",
                                    G_CALLBACK(+[](GDBusConnection*, gboolean, GError*, gpointer self) {
                                      static_cast<PrivateBus*>(self)->closed_ = true;
                                    }),
                                    this);
}

PrivateBus::~PrivateBus() {
  g_signal_handler_disconnect(connection_, closedHandler_);
  g_object_unref(connection_);
  g_main_context_release(context_);
  g_main_context_unref(context_);
}

void PrivateBus::prepare(std::vector<pollfd>& fds, int& timeoutMs) {
  g_main_context_prepare(context_, &priority_);
  gint timeout = -1;
  GPollFD polled[kMaxPolled];
  const gint n = g_main_context_query(context_, priority_, &timeout, polled, kMaxPolled);
  first_ = fds.size();
  count_ = static_cast<std::size_t>(std::clamp<gint>(n, 0, kMaxPolled));
  for (std::size_t i = 0; i < count_; ++i) fds.push_back({polled[i].fd, static_cast<short>(polled[i].events), 0});
  if (timeout >= 0 && (timeoutMs < 0 || timeout < timeoutMs)) timeoutMs = timeout;
}

void PrivateBus::dispatch(const std::vector<pollfd>& fds) {
  GPollFD polled[kMaxPolled];
  const std::size_t count = first_ + count_ <= fds.size() ? count_ : 0;
  for (std::size_t i = 0; i < count; ++i) {
    const pollfd& p = fds[first_ + i];
    polled[i] = {p.fd, static_cast<gushort>(p.events), static_cast<gushort>(p.revents)};
  }
  if (g_main_context_check(context_, priority_, polled, static_cast<gint>(count))) g_main_context_dispatch(context_);
  count_ = 0;
}

}  // namespace orbelune
