#include "x11/x11_targets.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <charconv>
#include <cstring>

#include "base/number_text.h"

namespace orbelune {

std::optional<Window> parseWindowId(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    first += 2;
    base = 16;
  }
  unsigned long long v = 0;
  auto res = std::from_chars(first, last, v, base);
  if (res.ec != std::errc() || res.ptr != last || v == 0 || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<Window>(v);
}

double screenScale(Display* display) { return scaleFromResources(XResourceManagerString(display)); }

double scaleFromResources(const char* resources) {
  if (!resources) return 1.0;
  // Lines of "name:\tvalue"; the one wanted is "Xft.dpi".
  for (const char* line = resources; *line;) {
    const char* end = std::strchr(line, '\n');
    const std::string entry(line, end ? end - line : std::strlen(line));
    if (entry.rfind("Xft.dpi:", 0) == 0) {
      const double dpi = leadingNumber(entry.substr(8)).value_or(0.0);
      const double scale = dpi / 96.0;
      return scale >= 0.5 && scale <= 8.0 ? scale : 1.0;
    }
    if (!end) break;
    line = end + 1;
  }
  return 1.0;
}

Window virtualRootWindow(Display* display, int screen) {
  Window root = RootWindow(display, screen);
  Atom vroot = XInternAtom(display, "__SWM_VROOT", False);
  Window rootReturn, parent;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = root;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && found == root; ++i) {
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display, children[i], vroot, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                             &data) == Success &&
          data) {
        if (type == XA_WINDOW && items == 1) found = *reinterpret_cast<Window*>(data);
        XFree(data);
      }
    }
    if (children) XFree(children);
  }
  return found;
}

std::vector<MonitorArea> monitorAreas(Display* display, int screen) {
  std::vector<MonitorArea> areas;
  int event, error;
  if (XRRQueryExtension(display, &event, &error)) {
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    for (int i = 0; monitors && i < count; ++i) {
      areas.push_back({monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height, monitors[i].name});
    }
    if (monitors) XRRFreeMonitors(monitors);
  }
  if (areas.empty()) areas.push_back({0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
  return areas;
}

}  // namespace orbelune
