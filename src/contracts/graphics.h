#pragma once
#include <memory>
#include <string>
#include <vector>

#include "contracts/color.h"
#include "contracts/geometry.h"

namespace orbelune {

enum class LineJoinStyle { Miter = 0, Round = 1, Bevel = 2 };

// A polyline built once and stroked on many frames. A backend may keep whatever
// it derives from the path (its rasterised coverage, say) in `backendCache`;
// the path never changes after it is built, so the cache stays valid.
class BezierPath {
 public:
  struct Element {
    bool isMove;
    Point point;
  };

  static std::shared_ptr<BezierPath> bezierPath() { return std::make_shared<BezierPath>(); }

  void setLineWidth(double width) { lineWidth_ = width; }
  double lineWidth() const { return lineWidth_; }
  void setLineJoinStyle(LineJoinStyle style) { joinStyle_ = style; }
  LineJoinStyle lineJoinStyle() const { return joinStyle_; }
  void moveToPoint(Point p) { elements_.push_back({true, p}); }
  void lineToPoint(Point p) { elements_.push_back({false, p}); }
  const std::vector<Element>& elements() const { return elements_; }

  mutable std::shared_ptr<void> backendCache;

 private:
  double lineWidth_ = 1.0;
  LineJoinStyle joinStyle_ = LineJoinStyle::Miter;
  std::vector<Element> elements_;
};

struct Font {
  std::string name;
  double size = 0.0;
};

// A string with its two attributes: the font and the foreground colour (which may
// be absent: the drawing then uses the caller's fallback colour).
struct StyledString {
  std::string string;
  Font font;
  ColorField color;
};

// The drawing operations a view uses, in the view's coordinates (origin lower
// left, y up); backends flip as their surface needs.
class Graphics {
 public:
  virtual ~Graphics() = default;
  // Makes a colour current. `held` is the colour object the view holds (or none);
  // `shown` is what the pixels use.
  virtual void setColor(const ColorField& held, const Color& shown) = 0;
  // Fills the rectangle with the current colour, replacing what is there.
  virtual void rectFill(const Rect& rect) = 0;
  // Strokes the path with its width and join in the current colour, blended over.
  virtual void stroke(const BezierPath& path) = 0;
  // The size of the styled string's box when drawn.
  virtual Size measureText(const StyledString& text) = 0;
  // Draws the string with the lower-left corner of its box at `point`.
  virtual void drawText(const StyledString& text, Point point, const Color& shownColor) = 0;
};

}  // namespace orbelune
