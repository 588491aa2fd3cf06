#!/usr/bin/python3
"""A stand-in desktop screen saver on the session bus, for orbelune lock's
tests: GNOME's org.gnome.ScreenSaver (or, with "kde", the freedesktop
org.freedesktop.ScreenSaver at /ScreenSaver). Lock makes it active
(ActiveChanged true); it unlocks by itself SECONDS later (ActiveChanged false),
or refuses to lock with "refuse"."""
import sys

from gi.repository import Gio, GLib

kind = sys.argv[1]
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
name, path = ("org.freedesktop.ScreenSaver", "/ScreenSaver") if kind == "kde" else \
    ("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver")
xml = f"""<node><interface name="{name}">
  <method name="Lock"/>
  <method name="GetActive"><arg type="b" direction="out"/></method>
  <signal name="ActiveChanged"><arg type="b"/></signal>
</interface></node>"""
active = False
loop = GLib.MainLoop()


def set_active(connection, value):
    global active
    active = value
    connection.emit_signal(None, path, name, "ActiveChanged", GLib.Variant("(b)", (value,)))
    print("active" if value else "inactive", flush=True)
    return False


def on_call(connection, sender, object_path, interface, method, parameters, invocation):
    if method == "Lock":
        if kind == "refuse":
            invocation.return_dbus_error("org.gnome.ScreenSaver.Error.Refused", "locking is disabled")
            return
        invocation.return_value(None)
        set_active(connection, True)
        GLib.timeout_add(int(seconds * 1000), set_active, connection, False)
    elif method == "GetActive":
        invocation.return_value(GLib.Variant("(b)", (active,)))


def on_bus(connection, _name):
    info = Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0]
    connection.register_object(path, info, on_call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, name, Gio.BusNameOwnerFlags.NONE, on_bus,
                 lambda *_: print("ready", flush=True), lambda *_: loop.quit())
loop.run()
