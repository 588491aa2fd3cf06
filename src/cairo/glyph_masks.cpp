#include "cairo/glyph_masks.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstring>

#include "cairo/cairo_surface.h"
#include "cairo/pixel_blend.h"

namespace orbelune {
namespace {

constexpr int kIntervals = 5;
constexpr unsigned long kLargestGlyph = (1ul << 26) - 2;  // the key keeps 26 bits of it
// Past this size a glyph is not kept (a line in a huge font is rare, and Cairo draws it).
constexpr double kLargestExtent = 512.0;

}  // namespace

GlyphMasks::GlyphMasks(cairo_scaled_font_t* font) : font_(font) {
  cairo_matrix_t ctm, matrix;
  cairo_scaled_font_get_ctm(font, &ctm);
  cairo_scaled_font_get_font_matrix(font, &matrix);
  // With Cairo 1.18 the images are Cairo's pixels at the status line's sizes
  // (up to 16 pixels, ComposedTextTest); some lines at 23.5 and 32 pixels
  // come out otherwise, so larger fonts stay with Cairo there.
  const bool sizeShown = cairo_version() < CAIRO_VERSION_ENCODE(1, 17, 0) ||
                         (matrix.yx == 0.0 && matrix.xy == 0.0 && matrix.xx <= 16.0 && matrix.yy <= 16.0);
  usable_ = sizeShown && ctm.xx == 1.0 && ctm.yx == 0.0 && ctm.xy == 0.0 && ctm.yy == 1.0 && ctm.x0 == 0.0 &&
            ctm.y0 == 0.0;
}

void GlyphMasks::split(double v, int& base, int& interval) {
  const double whole = std::floor(v);
  const double f = v - whole;
  base = static_cast<int>(whole);
  if (f < 0.125) interval = 0;
  else if (f < 0.375) interval = 1;
  else if (f < 0.5) interval = 2;
  else if (f < 0.625) interval = 3;
  else if (f < 0.875) interval = 4;
  else {
    // [7/8, 1) rounds and phases as [0, 1/8) of the next pixel does.
    base += 1;
    interval = 0;
  }
}

GlyphMasks::Mask GlyphMasks::mask(unsigned long glyph, double x, double y) {
  if (glyph > kLargestGlyph) return Mask{};
  int bx, ix, by, iy;
  split(x, bx, ix);
  split(y, by, iy);
  const std::uint32_t key = static_cast<std::uint32_t>((glyph + 1) << 5 | static_cast<unsigned long>(ix * kIntervals + iy));
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = (key * 2654435761u) & mask;
  while (slots_[at].key != 0 && slots_[at].key != key) at = (at + 1) & mask;
  if (slots_[at].key == key) return slots_[at];
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Mask> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t grown = slots_.size() - 1;
    for (const Mask& m : old) {
      if (m.key == 0) continue;
      std::size_t to = (m.key * 2654435761u) & grown;
      while (slots_[to].key != 0) to = (to + 1) & grown;
      slots_[to] = m;
    }
    return this->mask(glyph, x, y);
  }
  Mask& m = slots_[at];
  m.key = key;
  ++used_;
  render(m, glyph, x - bx, y - by);
  return m;
}

void GlyphMasks::render(Mask& m, unsigned long glyph, double fx, double fy) {
  m.usable = false;
  cairo_glyph_t g{glyph, 0.0, 0.0};
  cairo_text_extents_t e;
  cairo_scaled_font_glyph_extents(font_, &g, 1, &e);
  if (cairo_scaled_font_status(font_) != CAIRO_STATUS_SUCCESS) return;
  const double box[4] = {e.x_bearing, e.y_bearing, e.x_bearing + e.width, e.y_bearing + e.height};
  for (int i = 0; i < 4; ++i) m.box[i] = static_cast<std::int32_t>(std::nearbyint(box[i] * 256.0));
  if (!(std::fabs(e.x_bearing) < kLargestExtent && std::fabs(e.y_bearing) < kLargestExtent &&
        e.width >= 0.0 && e.width < kLargestExtent && e.height >= 0.0 && e.height < kLargestExtent)) {
    return;
  }
  // Rendered alone at the same fraction, with two pixels and more to spare on
  // every side: a touched pixel on the border would mean the image was cut.
  const int ox = 2 - static_cast<int>(std::floor(e.x_bearing));
  const int oy = 2 - static_cast<int>(std::floor(e.y_bearing));
  const int w = ox + static_cast<int>(std::ceil(e.x_bearing + e.width)) + 3;
  const int h = oy + static_cast<int>(std::ceil(e.y_bearing + e.height)) + 3;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, w);
  scratch_.assign(static_cast<std::size_t>(stride) * h, 0);
  {
    CairoSurface surface{cairo_image_surface_create_for_data(scratch_.data(), CAIRO_FORMAT_A8, w, h, stride)};
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_scaled_font(cr, font_);
    cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 1.0);
    g.x = ox + fx;
    g.y = oy + fy;
    cairo_show_glyphs(cr, &g, 1);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    if (!drawn) return;
  }
  int x0 = w, y0 = h, x1 = 0, y1 = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = scratch_.data() + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < w; ++x) {
      if (!row[x]) continue;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x + 1);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y + 1);
    }
  }
  if (x0 < x1 && (x0 == 0 || y0 == 0 || x1 == w || y1 == h)) return;
  m.usable = true;
  if (x0 >= x1) return;  // no ink (a space)
  m.left = x0 - ox;
  m.top = y0 - oy;
  m.width = x1 - x0;
  m.height = y1 - y0;
  m.offset = pool_.size();
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* row = scratch_.data() + static_cast<std::ptrdiff_t>(y) * stride + x0;
    pool_.insert(pool_.end(), row, row + m.width);
  }
}

bool GlyphMasks::draw(const std::vector<cairo_glyph_t>& glyphs, PixelTarget target, std::uint32_t source) {
  if (!usable_) return false;
  placed_.clear();
  int x0 = target.width, y0 = target.height, x1 = 0, y1 = 0;
  // Whether Cairo adds the images into one mask: a glyph's box overlaps the
  // union of the boxes before it, at its origin rounded to whole pixels
  // (image surfaces ask Cairo to) or in 1/256 pixel; Cairo 1.18 passes over
  // empty boxes (a space) in that test, 1.16 does not. Where those readings
  // differ the line is left to Cairo.
  struct Union {
    std::int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    bool overlap = false, overlapSkippingEmpty = false;
    void add(std::int64_t ox, std::int64_t oy, const std::int32_t box[4]) {
      const std::int64_t bx0 = ox + box[0], by0 = oy + box[1], bx1 = ox + box[2], by1 = oy + box[3];
      const bool over = bx1 > x0 && bx0 < x1 && by1 > y0 && by0 < y1;
      overlap = overlap || over;
      overlapSkippingEmpty = overlapSkippingEmpty || (over && bx0 != bx1 && by0 != by1);
      x0 = std::min(x0, bx0);
      y0 = std::min(y0, by0);
      x1 = std::max(x1, bx1);
      y1 = std::max(y1, by1);
    }
  } rounded, exact;
  for (const cairo_glyph_t& g : glyphs) {
    if (!(std::fabs(g.x) < 1e8 && std::fabs(g.y) < 1e8)) return false;
    const Mask m = mask(g.index, g.x, g.y);
    if (!m.usable) return false;
    rounded.add(static_cast<std::int64_t>(std::floor(g.x + 0.5)) * 256,
                static_cast<std::int64_t>(std::floor(g.y + 0.5)) * 256, m.box);
    exact.add(static_cast<std::int64_t>(std::nearbyint(g.x * 256.0)),
              static_cast<std::int64_t>(std::nearbyint(g.y * 256.0)), m.box);
    if (m.width == 0) continue;
    int bx, by, interval;
    split(g.x, bx, interval);
    split(g.y, by, interval);
    const Placed p{m, bx + m.left, by + m.top};
    placed_.push_back(p);
    x0 = std::min(x0, std::max(p.x, 0));
    y0 = std::min(y0, std::max(p.y, 0));
    x1 = std::max(x1, std::min(p.x + m.width, target.width));
    y1 = std::max(y1, std::min(p.y + m.height, target.height));
  }
  const bool overlap = rounded.overlap;
  if (rounded.overlapSkippingEmpty != overlap || exact.overlap != overlap || exact.overlapSkippingEmpty != overlap) {
    return false;
  }
  if (x0 >= x1 || y0 >= y1) return true;  // nothing on the surface
  const OverSolid over(source);
  if (!overlap) {
    // One glyph after another, each OVER what the ones before left.
    for (const Placed& p : placed_) {
      const Mask& m = p.mask;
      const int cx0 = std::max(p.x, 0), cx1 = std::min(p.x + m.width, target.width);
      const int cy0 = std::max(p.y, 0), cy1 = std::min(p.y + m.height, target.height);
      for (int y = cy0; y < cy1; ++y) {
        const std::uint8_t* c = pool_.data() + m.offset + static_cast<std::size_t>(y - p.y) * m.width + (cx0 - p.x);
        over.run(target.pixels + static_cast<std::ptrdiff_t>(y) * target.stridePixels + cx0, c, cx1 - cx0);
      }
    }
    return true;
  }
  // The images added into one mask, saturating as pixman adds, and that mask blended once.
  const int lw = x1 - x0, lh = y1 - y0;
  const std::size_t bytes = static_cast<std::size_t>(lw) * lh;
  if (line_.size() < bytes) line_.assign(bytes, 0);
  for (const Placed& p : placed_) {
    const Mask& m = p.mask;
    const int cx0 = std::max(p.x, x0), cx1 = std::min(p.x + m.width, x1);
    const int cy0 = std::max(p.y, y0), cy1 = std::min(p.y + m.height, y1);
    for (int y = cy0; y < cy1; ++y) {
      const std::uint8_t* from = pool_.data() + m.offset + static_cast<std::size_t>(y - p.y) * m.width + (cx0 - p.x);
      std::uint8_t* to = line_.data() + static_cast<std::size_t>(y - y0) * lw + (cx0 - x0);
      for (int i = 0; i < cx1 - cx0; ++i) to[i] = static_cast<std::uint8_t>(std::min(255, to[i] + from[i]));
    }
  }
  for (int y = 0; y < lh; ++y) {
    std::uint32_t* dst = target.pixels + static_cast<std::ptrdiff_t>(y0 + y) * target.stridePixels + x0;
    const std::uint8_t* c = line_.data() + static_cast<std::size_t>(y) * lw;
    int i = 0;
    for (; i + 4 <= lw; i += 4) {
      std::uint32_t values;
      std::memcpy(&values, c + i, 4);
      if (values) over.four(dst + i, values);
    }
    for (; i < lw; ++i) {
      if (c[i]) over.one(dst + i, c[i]);
    }
  }
  std::fill_n(line_.begin(), bytes, 0);
  return true;
}

}  // namespace orbelune
