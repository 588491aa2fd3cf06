#pragma once
// How a Wayland surface's size in logical pixels becomes its buffer's pixels.
//
// Does: with the compositor's preferred fractional scale (wp_fractional_scale_v1,
// in 120ths), a buffer of the logical size times the scale, rounded half away
// from zero, shown through a viewport at the logical size with buffer scale 1;
// without the protocol, the output's whole-number scale as the buffer scale.
// Keeps what a surface was last told, so that a request goes only on a change.
// Does not: talk to the compositor (the host sends what this says).
#include <cstdint>
#include <optional>

namespace orbelune {

// The unit of wp_fractional_scale_v1's preferred scale: 120 is a scale of 1.
inline constexpr std::uint32_t kScaleUnit = 120;

// `logical` x `scale120` / 120, rounded half away from zero (the protocol's rule).
int scaledLength(int logical, std::uint32_t scale120);

struct PixelSize {
  int width = 0, height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The scale one surface draws at.
class SurfaceScale {
 public:
  // The output's whole-number scale (wl_output.scale), drawn without a viewport.
  static SurfaceScale whole(std::int32_t factor);
  // A preferred scale in 120ths, drawn through a viewport. 0, which the
  // protocol does not allow, counts as 1; past 16, as 16 (the most a view draws at).
  static SurfaceScale fractional(std::uint32_t scale120);
  // With the protocols bound: the preferred scale once the compositor sent one
  // (`preferred120` not 0), the whole-number scale until then; without them,
  // the whole-number scale alone.
  static SurfaceScale choose(bool viewported, std::uint32_t preferred120, std::int32_t wholeFactor);

  // The buffer for a surface of `width` x `height` logical pixels.
  PixelSize bufferSize(int width, int height) const;
  // Pixels a point: what lines and text grow by.
  double pixelsPerPoint() const { return static_cast<double>(scale120_) / kScaleUnit; }
  // What wl_surface.set_buffer_scale is to say: 1 under a viewport.
  std::int32_t bufferScale() const { return viewported_ ? 1 : static_cast<std::int32_t>(scale120_ / kScaleUnit); }
  bool viewported() const { return viewported_; }
  std::uint32_t scale120() const { return scale120_; }

 private:
  SurfaceScale(std::uint32_t scale120, bool viewported) : scale120_(scale120), viewported_(viewported) {}
  std::uint32_t scale120_;
  bool viewported_;
};

// A surface's state the compositor keeps until told otherwise (its buffer
// scale, its viewport's destination): `changeTo` says whether it must be told.
template <class T>
class KeptState {
 public:
  KeptState() = default;
  explicit KeptState(T initial) : told_(initial) {}
  // True when `value` differs from what was told last (or nothing was): it is
  // then taken as told.
  bool changeTo(const T& value) {
    if (told_ && *told_ == value) return false;
    told_ = value;
    return true;
  }

 private:
  std::optional<T> told_;
};

}  // namespace orbelune
