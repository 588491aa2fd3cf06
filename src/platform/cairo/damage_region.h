#pragma once
#include <pixman.h>

#include <vector>

namespace orbelune {

// A box of device pixels: x0 <= x < x1, y0 <= y < y1.
struct PixelBox {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  long long area() const { return empty() ? 0 : static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// A set of pixels as the union of boxes, kept by pixman as non-overlapping
// rectangles: what a frame drew, or what a host must show of it.
class DamageRegion {
 public:
  DamageRegion() { pixman_region32_init(&region_); }
  ~DamageRegion() { pixman_region32_fini(&region_); }
  DamageRegion(const DamageRegion&) = delete;
  DamageRegion& operator=(const DamageRegion&) = delete;

  // Adds the box, clipped to a surface of width x height.
  void add(PixelBox box, int width, int height);
  void add(const DamageRegion& other) { pixman_region32_union(&region_, &region_, &other.region_); }
  void clear() { pixman_region32_clear(&region_); }
  bool empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&region_)); }
  // The region as non-overlapping boxes, top to bottom.
  std::vector<PixelBox> boxes() const;
  long long area() const;

 private:
  pixman_region32_t region_;
};

}  // namespace orbelune
