#include "gnome/desktop_lock.h"

#include <gio/gio.h>

#include <memory>

namespace orbelune {
namespace {

struct Interface {
  const char* name;  // the bus name and the interface
  const char* path;
  const char* desktop;
};

constexpr Interface kInterfaces[] = {
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "GNOME"},
    {"org.freedesktop.ScreenSaver", "/ScreenSaver", "KDE"},
};

struct Watch {
  bool active = false;    // the screen saver said it is active
  bool inactive = false;  // ... and then that it is not
};

void onActiveChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                     gpointer data) {
  auto* watch = static_cast<Watch*>(data);
  gboolean active = FALSE;
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
  g_variant_get(parameters, "(b)", &active);
  if (active) {
    watch->active = true;
  } else if (watch->active) {
    watch->inactive = true;
  }
}

bool call(GDBusConnection* bus, const Interface& i, const char* method, GVariant** reply, GError** error) {
  *reply = g_dbus_connection_call_sync(bus, i.name, i.path, i.name, method, nullptr, nullptr,
                                       G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, error);
  return *reply != nullptr;
}

}  // namespace

DesktopLock lockThroughDesktop(std::string& which, std::ostream& err) {
  GError* error = nullptr;
  std::unique_ptr<GDBusConnection, decltype(&g_object_unref)> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error),
                                                                   g_object_unref);
  if (!bus) {
    g_clear_error(&error);
    return DesktopLock::Unavailable;
  }
  for (const Interface& i : kInterfaces) {
    Watch watch;
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus.get(), nullptr, i.name, "ActiveChanged", i.path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onActiveChanged,
        &watch, nullptr);
    GVariant* reply = nullptr;
    if (!call(bus.get(), i, "Lock", &reply, &error)) {
      const bool absent = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                          g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
                          g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
                          g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
      if (!absent) err << "orbelune lock: " << i.desktop << "'s screen saver refused to lock: " << error->message << "\n";
      g_clear_error(&error);
      g_dbus_connection_signal_unsubscribe(bus.get(), subscription);
      if (absent) continue;
      return DesktopLock::Failed;
    }
    g_variant_unref(reply);
    which = i.desktop;
    err << "orbelune lock: " << i.desktop
        << "'s own lock screen locks the session; the figure does not show under it" << std::endl;
    // Until the screen saver went active and then inactive again; where the
    // signal is missed, its GetActive is asked every few seconds.
    GMainContext* context = g_main_context_default();
    gint64 lastAsked = g_get_monotonic_time();
    while (!watch.inactive) {
      if (g_main_context_pending(context)) {
        g_main_context_iteration(context, FALSE);
        continue;
      }
      if (g_dbus_connection_is_closed(bus.get())) {
        err << "orbelune lock: the session bus went while locked\n";
        g_dbus_connection_signal_unsubscribe(bus.get(), subscription);
        return DesktopLock::Failed;
      }
      g_usleep(50 * 1000);
      if (g_get_monotonic_time() - lastAsked < 3 * G_USEC_PER_SEC) continue;
      lastAsked = g_get_monotonic_time();
      GVariant* active = nullptr;
      if (call(bus.get(), i, "GetActive", &active, &error)) {
        gboolean on = FALSE;
        if (g_variant_is_of_type(active, G_VARIANT_TYPE("(b)"))) g_variant_get(active, "(b)", &on);
        g_variant_unref(active);
        if (on) watch.active = true;
        else if (watch.active) watch.inactive = true;
      }
      g_clear_error(&error);
    }
    g_dbus_connection_signal_unsubscribe(bus.get(), subscription);
    return DesktopLock::Unlocked;
  }
  return DesktopLock::Unavailable;
}

}  // namespace orbelune
