#!/usr/bin/python3
"""A stand-in logind on the test's own bus, for orbelune idle's locking: the
manager (GetSession, GetSessionByPID, Inhibit, PrepareForSleep) and session
"1". Once the watcher holds its sleep inhibitor it plays the events, printing
each: another peer's forged Lock ("forged"), two Locks a moment apart ("lock"),
the coming sleep ("sleep") and the inhibitor let go ("released", with the
seconds it was held into the sleep), the resume ("resume"), and every inhibitor
taken ("inhibited N")."""
import os
import time

from gi.repository import Gio, GLib

manager_path = "/org/freedesktop/login1"
session_path = "/org/freedesktop/login1/session/_31"
xml = """<node>
<interface name="org.freedesktop.login1.Manager">
  <method name="GetSession"><arg type="s" direction="in"/><arg type="o" direction="out"/></method>
  <method name="GetSessionByPID"><arg type="u" direction="in"/><arg type="o" direction="out"/></method>
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="h" direction="out"/></method>
  <signal name="PrepareForSleep"><arg type="b"/></signal>
</interface>
<interface name="org.freedesktop.login1.Session"><signal name="Lock"/></interface>
</node>"""
loop = GLib.MainLoop()
inhibitors = 0
asleep_at = None
bus = None


def say(text):
    print(text, flush=True)


def released(fd, _condition):
    if asleep_at is not None:
        say("released %.1f" % (time.monotonic() - asleep_at))
    os.close(fd)
    return False


def on_call(connection, sender, path, interface, method, parameters, invocation):
    global inhibitors
    if method in ("GetSession", "GetSessionByPID"):
        invocation.return_value(GLib.Variant("(o)", (session_path,)))
    elif method == "Inhibit":
        what, who, why, mode = parameters.unpack()
        if (what, who, mode) != ("sleep", "orbelune", "delay"):
            invocation.return_dbus_error("org.freedesktop.DBus.Error.InvalidArgs", "unexpected inhibitor")
            return
        read_end, write_end = os.pipe()
        invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), Gio.UnixFDList.new_from_array([write_end]))
        GLib.io_add_watch(read_end, GLib.PRIORITY_DEFAULT, GLib.IO_HUP | GLib.IO_IN, released)
        inhibitors += 1
        say("inhibited %d" % inhibitors)
        if inhibitors == 1:
            play()


def emit(connection, path, interface, name, value=None):
    connection.emit_signal(None, path, interface, name, value)


def sleep(start):
    global asleep_at
    asleep_at = time.monotonic() if start else None
    say("sleep" if start else "resume")
    emit(bus, manager_path, "org.freedesktop.login1.Manager", "PrepareForSleep", GLib.Variant("(b)", (start,)))
    return False


def play():
    address = os.environ["DBUS_SESSION_BUS_ADDRESS"]
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    forger = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)

    def forged():
        say("forged")
        emit(forger, session_path, "org.freedesktop.login1.Session", "Lock")
        forger.flush_sync(None)
        return False

    def lock():
        say("lock")
        emit(bus, session_path, "org.freedesktop.login1.Session", "Lock")
        return False

    GLib.timeout_add(500, forged)
    GLib.timeout_add(2000, lock)
    GLib.timeout_add(2300, lock)
    GLib.timeout_add(8000, sleep, True)
    GLib.timeout_add(12500, sleep, False)


def on_bus(connection, _name):
    global bus
    bus = connection
    node = Gio.DBusNodeInfo.new_for_xml(xml)
    connection.register_object(manager_path, node.interfaces[0], on_call, None, None)
    connection.register_object(session_path, node.interfaces[1], on_call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.login1", Gio.BusNameOwnerFlags.NONE, on_bus,
                 lambda *_: say("ready"), lambda *_: loop.quit())
loop.run()
