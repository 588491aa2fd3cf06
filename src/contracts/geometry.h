#pragma once
// Points and rectangles in a view's own coordinates: origin at the lower left,
// y growing upward, units of points.

namespace orbelune {

struct Point {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0.0;
  double height = 0.0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect makeRect(double x, double y, double w, double h) { return Rect{{x, y}, {w, h}}; }

}  // namespace orbelune
