#include "platform/cairo/damage_region.h"

#include <algorithm>

namespace orbelune {

void DamageRegion::add(PixelBox b, int width, int height) {
  b.x0 = std::max(b.x0, 0);
  b.y0 = std::max(b.y0, 0);
  b.x1 = std::min(b.x1, width);
  b.y1 = std::min(b.y1, height);
  if (b.empty()) return;
  pixman_region32_union_rect(&region_, &region_, b.x0, b.y0, static_cast<unsigned>(b.x1 - b.x0),
                             static_cast<unsigned>(b.y1 - b.y0));
}

std::vector<PixelBox> DamageRegion::boxes() const {
  int count = 0;
  const pixman_box32_t* rects = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&region_), &count);
  std::vector<PixelBox> out;
  out.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) out.push_back({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
  return out;
}

long long DamageRegion::area() const {
  long long total = 0;
  for (const auto& b : boxes()) total += b.area();
  return total;
}

}  // namespace orbelune
