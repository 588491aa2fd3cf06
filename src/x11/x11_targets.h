#pragma once
#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace orbelune {

// A window id as XScreenSaver passes it: hex with 0x, or decimal. Anything else
// (empty, trailing text, zero, out of range) is nullopt.
std::optional<Window> parseWindowId(const std::string& text);

// The window `--root` draws on: the virtual root a window manager announces with
// __SWM_VROOT, else the real root.
Window virtualRootWindow(Display* display, int screen);

// Pixels a point on the display, as desktop toolkits read it: the Xft.dpi
// resource over 96; 1 without one (or with a value outside 0.5x to 8x).
double screenScale(Display* display);
// The same from the text of the resource database (nullptr: none).
double scaleFromResources(const char* resources);

struct MonitorArea {
  int x, y, width, height;
  Atom name = 0;  // RandR's name of the monitor: the same across a resolution change
  bool operator==(const MonitorArea&) const = default;
};
// The monitors of the screen (XRandR), or the whole screen when RandR has none.
std::vector<MonitorArea> monitorAreas(Display* display, int screen);

}  // namespace orbelune
