#pragma once
#include <optional>
#include <string>

namespace orbelune {

// An sRGB colour with opacity, every component in 0..1. A value type: copies are
// independent, as the view's colour fields and the colour wells require.
struct Color {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 1.0;

  double alphaComponent() const { return alpha; }
  Color withAlpha(double a) const { return Color{red, green, blue, a}; }
  friend bool operator==(const Color&, const Color&) = default;

  static Color yellow() { return {1.0, 1.0, 0.0, 1.0}; }
  static Color white() { return {1.0, 1.0, 1.0, 1.0}; }
  static Color black() { return {0.0, 0.0, 0.0, 1.0}; }
};

// A colour field that can hold no colour at all, as when a stored colour
// failed to decode.
using ColorField = std::optional<Color>;

// True when every component is finite and within 0..1.
bool isValidColor(const Color& c);

// A colour as "#rrggbb" when opaque, else "#rrggbbaa" (each component clamped
// to 0..1 and rounded to a byte): what --help and the man page say of a default.
std::string describeColor(const Color& c);

}  // namespace orbelune
