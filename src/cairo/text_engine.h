#pragma once
#include <pango/pangocairo.h>

#include <string>

#include "contracts/geometry.h"

namespace orbelune {

// Lays out one line of text with Pango. One context and one layout live as long
// as the engine, so measuring and drawing every frame builds no font map, context
// or layout. Metrics are unhinted so a width follows the requested size smoothly.
class TextEngine {
 public:
  TextEngine();
  ~TextEngine();
  TextEngine(const TextEngine&) = delete;
  TextEngine& operator=(const TextEngine&) = delete;

  // The logical box of the string in `family` at `size` points (1 point = 1 pixel).
  Size measure(const std::string& text, const std::string& family, double size);
  // The device pixels that drawing the string at (x, y) may touch: its ink and
  // logical boxes together, rounded outwards, as {x0, y0, x1, y1}.
  void inkBounds(const std::string& text, const std::string& family, double size, double x, double y, int out[4]);
  // Draws the string with the top-left corner of its box at (x, y) in device space.
  void show(cairo_t* cr, const std::string& text, const std::string& family, double size, double x, double y);
  // The family fontconfig actually picked for `family` (for diagnostics and tests).
  std::string resolvedFamily(const std::string& family);

 private:
  void prepare(const std::string& text, const std::string& family, double size);

  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  PangoFontDescription* font_ = nullptr;
  cairo_t* updatedFor_ = nullptr;  // the context last matched to this target
  std::string text_;
  std::string family_;
  double size_ = -1.0;
  Size box_;
};

}  // namespace orbelune
