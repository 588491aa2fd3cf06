#!/usr/bin/python3
# Input for a headless Mutter, for tests: one org.gnome.Mutter.RemoteDesktop
# session held for the process's life (Mutter ends a session with the bus
# connection that made it). Reads commands on stdin, one a line, and answers
# each with a line starting "ok":
#   prime      makes Mutter's virtual keyboard and pointer now (Mutter makes
#              them on the first event of each kind and delivers that event to
#              no client); counts as activity
#   move DX DY relative pointer motion
#   key SYM    a key (keysym, decimal or 0x hex) pressed and released
#   quit       ends the session
import sys

from gi.repository import Gio, GLib

NAME = "org.gnome.Mutter.RemoteDesktop"
SESSION = NAME + ".Session"
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, iface, method, args=None, reply=None):
    result = bus.call_sync(NAME, path, iface, method, args, GLib.VariantType.new(reply) if reply else None,
                           Gio.DBusCallFlags.NONE, -1, None)
    return result.unpack() if result is not None else ()


session = call("/org/gnome/Mutter/RemoteDesktop", NAME, "CreateSession", None, "(o)")[0]
call(session, SESSION, "Start")
print("ok session", flush=True)
for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    if words[0] == "prime":
        for pressed in (True, False):
            call(session, SESSION, "NotifyKeyboardKeycode", GLib.Variant("(ub)", (42, pressed)))  # left Shift
        call(session, SESSION, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (0.0, 0.0)))
    elif words[0] == "move":
        call(session, SESSION, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (float(words[1]), float(words[2]))))
    elif words[0] == "key":
        for pressed in (True, False):
            call(session, SESSION, "NotifyKeyboardKeysym", GLib.Variant("(ub)", (int(words[1], 0), pressed)))
    elif words[0] == "quit":
        break
    print("ok " + words[0], flush=True)
call(session, SESSION, "Stop")
