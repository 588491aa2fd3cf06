#pragma once
#include <cairo.h>

#include <memory>

#include "platform/cairo/text_engine.h"
#include "platform/graphics.h"

namespace orbelune {

// Draws into a Cairo image surface whose height is the view's height in points.
// The view's y axis points up; the surface's points down, so y is flipped here.
//
// A path never changes once built, so its rasterised coverage never changes
// either: the first stroke of a path renders its coverage once (with Cairo, so
// the pixels are Cairo's own) and keeps the touched pixels; every later frame
// blends those pixels with the path's new alpha. That replaces ~140 strokes a
// frame with ~140 short pixel loops.
class CairoGraphics final : public Graphics {
 public:
  // The surface must be CAIRO_FORMAT_ARGB32 or RGB24; it is not owned.
  explicit CairoGraphics(cairo_surface_t* surface);
  ~CairoGraphics() override;
  CairoGraphics(const CairoGraphics&) = delete;
  CairoGraphics& operator=(const CairoGraphics&) = delete;

  void setColor(const ColorField& held, const Color& shown) override;
  void rectFill(const Rect& rect) override;
  void stroke(const BezierPath& path) override;
  Size measureText(const StyledString& text) override;
  void drawText(const StyledString& text, Point point, const Color& shownColor) override;

  // Strokes directly, without the coverage cache (the reference the cache is held to).
  void strokeUncached(const BezierPath& path);
  // Whether stroke() uses the coverage cache (on by default).
  void setCachesCoverage(bool on) { cachesCoverage_ = on; }
  cairo_surface_t* surface() const { return surface_; }
  TextEngine& textEngine() { return text_; }

 private:
  struct Coverage;
  std::shared_ptr<Coverage> coverageOf(const BezierPath& path);
  void blend(const Coverage& coverage);
  void tracePath(cairo_t* cr, const BezierPath& path, double dx, double dy) const;

  cairo_surface_t* surface_;
  cairo_t* cr_;
  double height_;
  Color current_;
  bool cachesCoverage_ = true;
  TextEngine text_;
};

// Only measures text (for hosts that record operations but draw no pixels).
class MeasuringGraphics final : public Graphics {
 public:
  void setColor(const ColorField&, const Color&) override {}
  void rectFill(const Rect&) override {}
  void stroke(const BezierPath&) override {}
  Size measureText(const StyledString& text) override {
    return text_.measure(text.string, text.font.name, text.font.size);
  }
  void drawText(const StyledString&, Point, const Color&) override {}

 private:
  TextEngine text_;
};

}  // namespace orbelune
