#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "contracts/graphics.h"

namespace orbelune {

// Records every drawing operation, in order, for tests and for `render --ops`.
// With an inner backend it also passes every operation on to it (and measures
// text with it); without one it measures text with a simple metric that scales
// with the font size.
class RecordingGraphics final : public Graphics {
 public:
  struct Fill {
    Rect rect;
    ColorField color;
  };
  struct Stroke {
    double width;
    LineJoinStyle join;
    ColorField color;
    std::vector<BezierPath::Element> elements;
  };
  struct Text {
    std::string string;
    std::string font;
    double size;
    Point point;
    double width;
    ColorField color;
  };
  using Op = std::variant<Fill, Stroke, Text>;

  explicit RecordingGraphics(Graphics* inner = nullptr) : inner_(inner) {}

  void setColor(const ColorField& held, const Color& shown) override;
  void rectFill(const Rect& rect) override;
  void stroke(const BezierPath& path) override;
  Size measureText(const StyledString& text) override;
  void drawText(const StyledString& text, Point point, const Color& shownColor) override;

  const std::vector<Op>& ops() const { return ops_; }
  void clear() { ops_.clear(); }
  // The recorded operations as a JSON array, in the `--ops` format.
  nlohmann::ordered_json opsJson() const;
  std::string toJsonLines() const { return opsJson().dump(); }

  // Width per point of font size per character, when there is no inner backend.
  static constexpr double kFallbackAdvance = 0.5;

 private:
  Graphics* inner_;
  ColorField current_;
  std::vector<Op> ops_;
};

// A colour field as the ops format prints it: [r,g,b,a], or null for no colour.
nlohmann::ordered_json colorJson(const ColorField& c);

}  // namespace orbelune
