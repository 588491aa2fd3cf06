#include "contracts/color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orbelune {

bool isValidColor(const Color& c) {
  for (double v : {c.red, c.green, c.blue, c.alpha}) {
    if (!std::isfinite(v) || v < 0.0 || v > 1.0) return false;
  }
  return true;
}

std::string describeColor(const Color& c) {
  auto byte = [](double v) { return static_cast<unsigned>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  char buf[16];
  if (c.alpha >= 1.0) std::snprintf(buf, sizeof buf, "#%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue));
  else std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue), byte(c.alpha));
  return buf;
}

}  // namespace orbelune
