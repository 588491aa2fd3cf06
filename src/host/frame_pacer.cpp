#include "host/frame_pacer.h"

#include <cmath>

namespace orbelune {

int FramePacer::timeoutMs(double now) const {
  const double ms = std::ceil((next_ - now) * 1000.0);
  return ms > 0.0 ? static_cast<int>(ms) : 0;
}

}  // namespace orbelune
