#pragma once
// A path's stroke as the pixels it touches on one surface, rasterised once by
// Cairo (so the pixels are Cairo's own) into a mask and kept in groups of four
// neighbours; long paths are rasterised in strips on two threads.
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cairo/damage_grid.h"
#include "contracts/graphics.h"

namespace orbelune {

// The pixels a path's stroke touches, laid out for one surface: a thin line
// crosses a small part of its bounding box, so only those pixels are blended.
// Inside the surface they come in groups of four neighbours in a row, each
// with its pixel index and four coverage values, so a frame blends and clears
// a flat list with no per-row bookkeeping; the few groups the surface's left
// or right edge cuts are kept as clipped runs.
struct StrokeCoverage {
  struct Quad {
    std::uint32_t pixel;   // y * (stride / 4) + x of the first of the four
    std::uint32_t values;  // their coverage, the first in the low byte
  };
  struct Run {
    std::uint32_t pixel;
    int length;
    std::size_t offset;  // into `runValues`
  };
  std::vector<Quad> quads;
  std::vector<Run> runs;
  std::vector<std::uint8_t> runValues;
  bool rasterised = false;  // false: degenerate or enormous, stroked directly instead
  // The surface the layout was made for.
  int width = 0, height = 0, stridePixels = 0;
  // The damage tiles the pixels touch, for a surface `tileColumns` tiles wide.
  std::vector<DamageGrid::Mark> tiles;
  int tileColumns = -1;
};

// The surface a coverage is laid out for.
struct SurfaceLayout {
  int width, height, stridePixels;
};

// Traces `path` on `cr` in a surface `height` pixels high (the view's y axis
// points up, the surface's down), shifted by (dx, dy), with its width and join.
void tracePath(cairo_t* cr, const BezierPath& path, double height, double dx, double dy);

// Makes coverages, keeping one zeroed mask buffer for all of them.
class StrokeRasteriser {
 public:
  // The path's coverage on `surface`, from its cache when it was made for the
  // same layout; not `rasterised` when degenerate or enormous (to be stroked
  // directly instead).
  std::shared_ptr<StrokeCoverage> coverageOf(const BezierPath& path, const SurfaceLayout& surface);

 private:
  // Where a path's A8 mask lies: its buffer, and its top left in surface pixels.
  struct MaskPlace {
    unsigned char* data;
    int stride, width, height;
    double left, top;
  };
  // Into how many strips a path's mask is split to rasterise it on two threads.
  static int stripsFor(std::size_t elements, int maskRows);
  // Strokes the path into rows [rowFrom, rowTo) of the zeroed mask, appends the
  // touched pixels to `out` and zeroes the rows again. False if Cairo failed.
  static bool rasteriseRows(const BezierPath& path, const SurfaceLayout& surface, const MaskPlace& mask, int rowFrom,
                            int rowTo, StrokeCoverage& out);

  std::vector<unsigned char> maskScratch_;  // all zero between uses
  std::size_t lastQuads_ = 0;  // the last path's groups: the next one is much the same
};

}  // namespace orbelune
