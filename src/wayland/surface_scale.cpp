#include "wayland/surface_scale.h"

#include <algorithm>

namespace orbelune {
namespace {
constexpr std::uint32_t kLargestScale120 = 16 * kScaleUnit;
}  // namespace

int scaledLength(int logical, std::uint32_t scale120) {
  // In whole numbers: half a unit added to the magnitude, then truncated.
  const std::int64_t product = static_cast<std::int64_t>(logical) * scale120;
  const std::int64_t half = kScaleUnit / 2;
  const std::int64_t magnitude = (product < 0 ? -product : product) + half;
  const std::int64_t rounded = magnitude / kScaleUnit;
  return static_cast<int>(product < 0 ? -rounded : rounded);
}

SurfaceScale SurfaceScale::whole(std::int32_t factor) {
  const std::int32_t f = std::clamp<std::int32_t>(factor, 1, kLargestScale120 / kScaleUnit);
  return SurfaceScale(static_cast<std::uint32_t>(f) * kScaleUnit, false);
}

SurfaceScale SurfaceScale::fractional(std::uint32_t scale120) {
  const std::uint32_t s = scale120 == 0 ? kScaleUnit : std::min(scale120, kLargestScale120);
  return SurfaceScale(s, true);
}

SurfaceScale SurfaceScale::choose(bool viewported, std::uint32_t preferred120, std::int32_t wholeFactor) {
  if (!viewported) return whole(wholeFactor);
  if (preferred120 == 0) return fractional(whole(wholeFactor).scale120());
  return fractional(preferred120);
}

PixelSize SurfaceScale::bufferSize(int width, int height) const {
  return {scaledLength(width, scale120_), scaledLength(height, scale120_)};
}

}  // namespace orbelune
