#pragma once
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cairo/damage_grid.h"
#include "cairo/stroke_coverage.h"
#include "cairo/text_engine.h"
#include "contracts/graphics.h"

namespace orbelune {

// Draws into a Cairo image surface whose height is the view's height in points.
// The view's y axis points up; the surface's points down, so y is flipped here.
//
// A path never changes once built, so its rasterised coverage never changes
// either: the first stroke of a path renders its coverage once (with Cairo, so
// the pixels are Cairo's own) and keeps the touched pixels, in groups of four;
// every later frame blends those groups with the path's new alpha. That
// replaces ~140 strokes a frame with ~140 short loops over flat lists.
//
// It also keeps what each frame drew (its ink: the boxes of its strokes, fills
// and text). A frame that starts, as the view's do, by filling the whole
// surface with the same background as the last one clears only the last
// frame's ink: every other pixel holds that background already. The pixels
// come out exactly as a full repaint makes them, a frame costs what its ink
// costs, and takeDamage() tells a host the little it has to show.
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

  // The pixels changed since the last call, as non-overlapping boxes. Each box
  // is made of damage tiles, `tilesPerBox` to a side at the least: a host that
  // sends one request a box asks for fewer, larger boxes.
  std::vector<PixelBox> takeDamage(int tilesPerBox = 1);
  // Whether a background fill clears only the last frame's ink (on by
  // default); off, every background fill repaints and damages the whole surface.
  void setTracksDamage(bool on);

 private:
  // Every damage tile the coverage's pixels touch, found once per path and surface.
  void findTiles(StrokeCoverage& coverage);
  void blend(const std::shared_ptr<StrokeCoverage>& coverage);
  void clearInk(std::uint32_t pixel);
  void fillBox(const PixelBox& box, std::uint32_t pixel);
  void addInk(const PixelBox& box);

  cairo_surface_t* surface_;
  cairo_t* cr_;
  double height_;
  Color current_;
  bool cachesCoverage_ = true;
  TextEngine text_;

  int width_;
  bool tracksDamage_ = true;
  bool clean_ = false;        // every pixel outside ink_ holds background_
  std::uint32_t background_ = 0;
  // Drawn since the last background fill: the strokes' coverage (cleared group
  // by group), the boxes of everything else, and the tiles of both.
  std::vector<std::shared_ptr<StrokeCoverage>> inkStrokes_;
  std::vector<PixelBox> inkBoxes_;
  DamageGrid ink_;
  DamageGrid damage_;         // ink cleared since the last takeDamage()
  StrokeRasteriser rasteriser_;
  // A path's tile marks before they are joined: kept, so that finding a new
  // path's tiles allocates only their joined list.
  std::vector<DamageGrid::Mark> markScratch_;
  bool allDamaged_ = true;
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
