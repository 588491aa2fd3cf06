#!/usr/bin/python3
# Takes a picture of one of KWin's outputs through org.kde.KWin.ScreenShot2 and
# prints how many of its pixels are the figure's yellow (yellow_pixels.py).
# Usage: kwin_screenshot.py OUTPUT_NAME
#
# KWin answers the call at once and writes the raw image into the pipe it was
# given afterwards: the pipe is read on a second thread, or the writer blocks
# on a full pipe while the caller waits for it.
import os
import sys
import threading

from gi.repository import Gio, GLib

import yellow_pixels

# QImage formats KWin sends, by the order of their bytes in memory.
BGRA = {4, 5, 6}  # Format_RGB32, Format_ARGB32, Format_ARGB32_Premultiplied
RGBA = {16, 17, 18}  # Format_RGBX8888, Format_RGBA8888, Format_RGBA8888_Premultiplied


def capture(output):
    read_end, write_end = os.pipe()
    chunks = []

    def drain():
        while chunk := os.read(read_end, 1 << 20):
            chunks.append(chunk)

    reader = threading.Thread(target=drain)
    reader.start()
    fds = Gio.UnixFDList.new()
    index = fds.append(write_end)
    os.close(write_end)
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    try:
        reply, _ = bus.call_with_unix_fd_list_sync(
            "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
            GLib.Variant("(sa{sv}h)", (output, {"native-resolution": GLib.Variant("b", True)}, index)),
            GLib.VariantType.new("(a{sv})"), Gio.DBusCallFlags.NONE, 10000, fds, None)
    finally:
        # The message keeps its own copy of the write end: close it, or the
        # reader never sees the end of the data.
        for fd in fds.steal_fds():
            os.close(fd)
        reader.join()
        os.close(read_end)
    return reply.unpack()[0], b"".join(chunks)


def figure_pixels(meta, data):
    width, height, stride, fmt = meta["width"], meta["height"], meta["stride"], meta["format"]
    if fmt in BGRA:
        red, green, blue = 2, 1, 0
    elif fmt in RGBA:
        red, green, blue = 0, 1, 2
    else:
        raise SystemExit(f"kwin_screenshot: QImage format {fmt} is not one this reads")
    if len(data) < stride * height:
        raise SystemExit(f"kwin_screenshot: {len(data)} bytes for a {width}x{height} image of stride {stride}")
    rows = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    return yellow_pixels.count(rows, 4, red, green, blue)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit("usage: kwin_screenshot.py OUTPUT_NAME")
    print(figure_pixels(*capture(sys.argv[1])))
