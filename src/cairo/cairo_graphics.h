#pragma once
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cairo/damage_grid.h"
#include "cairo/pixel_blend.h"
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
//
// In a frame begun with beginFrame(), between such a fill and the frame's end
// (finishFrame(), or anything but a stroke) the strokes are only noted. The frame then resolves each group of
// four pixels the last frame's strokes or this frame's touch once, in address
// order: the background and every stroke over the group in drawing order,
// blended in registers and written once, instead of clearing the last ink and
// blending each stroke over it in turn. This frame's groups are kept, sorted,
// for the next: a trail that loses its oldest paths and gains new ones merges
// only the new paths' groups in.
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
  void beginFrame() override { begun_ = true; }
  void finishFrame() override;

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
  // Whether a frame's strokes are resolved together at its end (on by
  // default); off, each is blended as it comes, the reference for the other.
  void setResolvesFrames(bool on) { resolvesFrames_ = on; }

 private:
  // A group of four pixels one stroke touches, with the stroke's place in
  // its frame's drawing order.
  struct Group {
    std::uint32_t pixel;
    std::uint32_t values;
    std::uint32_t rank;
  };
  struct Noted {
    std::shared_ptr<StrokeCoverage> coverage;
    std::uint32_t source;
  };
  // Draws what the frame has noted, if anything.
  void resolve();
  // Whether resolve() can write the noted strokes from the kept groups.
  bool resolvable() const;
  void resolveGroups();
  void clearStrokes(const std::vector<std::shared_ptr<StrokeCoverage>>& strokes, std::uint32_t pixel);
  void blendPixels(const StrokeCoverage& coverage, std::uint32_t source);
  // Every damage tile the coverage's pixels touch, found once per path and surface.
  void findTiles(StrokeCoverage& coverage);
  void blend(const std::shared_ptr<StrokeCoverage>& coverage);
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

  bool resolvesFrames_ = true;
  bool begun_ = false;     // beginFrame() came before the next fill, whose frame may note its strokes
  bool noting_ = false;    // strokes are noted, not drawn, until resolve()
  std::vector<Noted> noted_;
  // What the last frame drew that this one has not cleared yet (while noting).
  std::vector<std::shared_ptr<StrokeCoverage>> staleStrokes_;
  std::vector<PixelBox> staleBoxes_;
  // The groups of the strokes last resolved, sorted by pixel and rank, and
  // those strokes in their drawing order; valid while they are all the
  // strokes drawn since that frame's fill.
  std::vector<Group> groups_, nextGroups_, newGroups_;
  std::vector<std::shared_ptr<StrokeCoverage>> resolved_;
  bool groupsValid_ = false;
  std::vector<OverSolid> overs_;
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
