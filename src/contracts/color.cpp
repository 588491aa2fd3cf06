#include "contracts/color.h"

#include <cmath>

namespace orbelune {

bool isValidColor(const Color& c) {
  for (double v : {c.red, c.green, c.blue, c.alpha}) {
    if (!std::isfinite(v) || v < 0.0 || v > 1.0) return false;
  }
  return true;
}

}  // namespace orbelune
