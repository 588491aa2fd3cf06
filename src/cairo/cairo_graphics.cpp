#include "cairo/cairo_graphics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cairo/pixel_blend.h"

namespace orbelune {

CairoGraphics::CairoGraphics(cairo_surface_t* surface)
    : surface_(surface),
      cr_(cairo_create(surface)),
      height_(cairo_image_surface_get_height(surface)),
      width_(cairo_image_surface_get_width(surface)) {
  ink_.resize(width_, static_cast<int>(height_));
  damage_.resize(width_, static_cast<int>(height_));
}

CairoGraphics::~CairoGraphics() { cairo_destroy(cr_); }

void CairoGraphics::setColor(const ColorField& held, const Color& shown) {
  (void)held;
  current_ = shown;
}

void CairoGraphics::fillBox(const PixelBox& b, std::uint32_t pixel) {
  unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  fillPixels(base + static_cast<std::ptrdiff_t>(b.y0) * stride + static_cast<std::ptrdiff_t>(b.x0) * 4, stride,
             b.x1 - b.x0, b.y1 - b.y0, pixel);
}

void CairoGraphics::addInk(const PixelBox& box) {
  inkBoxes_.push_back(box);
  ink_.add(box);
}

void CairoGraphics::clearInk(std::uint32_t pixel) {
  // Exactly the pixels drawn: thin strokes touch a small part of their tiles.
  auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface_));
  for (const auto& cov : inkStrokes_) {
    const auto* quads = cov->quads.data();
    const std::size_t n = cov->quads.size();
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(pixel));
    for (std::size_t i = 0; i < n; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + quads[i].pixel), four);
#else
    for (std::size_t i = 0; i < n; ++i) std::fill_n(pixels + quads[i].pixel, 4, pixel);
#endif
    for (const auto& run : cov->runs) std::fill_n(pixels + run.pixel, run.length, pixel);
  }
  const int height = static_cast<int>(height_);
  for (PixelBox b : inkBoxes_) {
    b = {std::max(b.x0, 0), std::max(b.y0, 0), std::min(b.x1, width_), std::min(b.y1, height)};
    if (!b.empty()) fillBox(b, pixel);
  }
  inkStrokes_.clear();
  inkBoxes_.clear();
}

void CairoGraphics::rectFill(const Rect& r) {
  if (r.origin.x <= 0.0 && r.origin.y <= 0.0 && r.origin.x + r.size.width >= width_ &&
      r.origin.y + r.size.height >= height_) {
    // The whole surface: write the premultiplied pixel directly, at memset speed,
    // and only where the last frame drew when the background is the same.
    const std::uint32_t pixel = premultipliedPixel(current_);
    cairo_surface_flush(surface_);
    if (tracksDamage_ && clean_ && pixel == background_) {
      clearInk(pixel);
      damage_.add(ink_);
    } else {
      fillBox(PixelBox{0, 0, width_, static_cast<int>(height_)}, pixel);
      inkStrokes_.clear();
      inkBoxes_.clear();
      allDamaged_ = true;
      background_ = pixel;
      clean_ = true;
    }
    ink_.clear();
    cairo_surface_mark_dirty(surface_);
    return;
  }
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_rectangle(cr_, r.origin.x, height_ - r.origin.y - r.size.height, r.size.width, r.size.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
  const double top = height_ - r.origin.y - r.size.height;
  if (std::isfinite(r.origin.x) && std::isfinite(top) && std::isfinite(r.size.width) && std::isfinite(r.size.height)) {
    addInk({static_cast<int>(std::floor(std::max(r.origin.x, -1.0))), static_cast<int>(std::floor(std::max(top, -1.0))),
            static_cast<int>(std::ceil(std::min(r.origin.x + r.size.width, width_ + 1.0))),
            static_cast<int>(std::ceil(std::min(top + r.size.height, height_ + 1.0)))});
  } else {
    clean_ = false;
  }
}

std::vector<PixelBox> CairoGraphics::takeDamage(int tilesPerBox) {
  // What changed: the ink cleared since the last call (added as it went) and the ink there now.
  damage_.add(ink_);
  std::vector<PixelBox> boxes =
      allDamaged_ ? std::vector<PixelBox>{{0, 0, width_, static_cast<int>(height_)}} : damage_.boxes(tilesPerBox);
  damage_.clear();
  allDamaged_ = false;
  return boxes;
}

void CairoGraphics::setTracksDamage(bool on) {
  tracksDamage_ = on;
  clean_ = false;
}

void CairoGraphics::strokeUncached(const BezierPath& path) {
  tracePath(cr_, path, height_, 0.0, 0.0);
  double x0, y0, x1, y1;
  cairo_stroke_extents(cr_, &x0, &y0, &x1, &y1);
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_stroke(cr_);
  if (std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1)) {
    addInk({static_cast<int>(std::floor(std::max(x0, -1.0))) - 1, static_cast<int>(std::floor(std::max(y0, -1.0))) - 1,
            static_cast<int>(std::ceil(std::min(x1, width_ + 1.0))) + 1,
            static_cast<int>(std::ceil(std::min(y1, height_ + 1.0))) + 1});
  } else {
    clean_ = false;  // somewhere unknown: the next background fill repaints everything
  }
}

void CairoGraphics::stroke(const BezierPath& path) {
  if (!cachesCoverage_) {
    strokeUncached(path);
    return;
  }
  const SurfaceLayout layout{width_, static_cast<int>(height_), cairo_image_surface_get_stride(surface_) / 4};
  auto cov = rasteriser_.coverageOf(path, layout);
  if (!cov->rasterised) {
    if (path.elements().size() > 1) strokeUncached(path);
    return;
  }
  blend(cov);
}

void CairoGraphics::findTiles(StrokeCoverage& cov) {
  std::vector<DamageGrid::Mark>& marks = markScratch_;
  marks.clear();
  const auto stridePixels = static_cast<std::uint32_t>(cairo_image_surface_get_stride(surface_) / 4);
  auto addTilesOf = [&](std::uint32_t pixel, int length) {
    const int y = static_cast<int>(pixel / stridePixels), x = static_cast<int>(pixel % stridePixels);
    ink_.marksOf({x, y, x + length, y + 1}, marks);
  };
  for (const auto& q : cov.quads) addTilesOf(q.pixel, 4);
  for (const auto& r : cov.runs) addTilesOf(r.pixel, r.length);
  DamageGrid::compact(marks);
  cov.tiles.assign(marks.begin(), marks.end());
  cov.tileColumns = ink_.columns();
}

void CairoGraphics::blend(const std::shared_ptr<StrokeCoverage>& shared) {
  StrokeCoverage& cov = *shared;
  const std::uint32_t src = premultipliedPixel(current_);
  if (src == 0) return;
  if (cov.tileColumns != ink_.columns()) findTiles(cov);
  inkStrokes_.push_back(shared);
  ink_.add(cov.tiles);
  cairo_surface_flush(surface_);
  auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface_));
  const OverSolid over(src);
  const auto* quads = cov.quads.data();
  const std::size_t n = cov.quads.size();
  for (std::size_t i = 0; i < n; ++i) over.four(pixels + quads[i].pixel, quads[i].values);
  for (const auto& r : cov.runs) over.run(pixels + r.pixel, cov.runValues.data() + r.offset, r.length);
  cairo_surface_mark_dirty(surface_);
}

Size CairoGraphics::measureText(const StyledString& text) {
  return text_.measure(text.string, text.font.name, text.font.size);
}

void CairoGraphics::drawText(const StyledString& text, Point point, const Color& shown) {
  Size box = text_.measure(text.string, text.font.name, text.font.size);
  const double x = point.x, y = height_ - point.y - box.height;
  cairo_save(cr_);
  cairo_set_source_rgba(cr_, shown.red, shown.green, shown.blue, shown.alpha);
  text_.show(cr_, text.string, text.font.name, text.font.size, x, y);
  cairo_restore(cr_);
  if (std::isfinite(x) && std::isfinite(y) && std::abs(x) < 1e9 && std::abs(y) < 1e9) {
    int b[4];
    text_.inkBounds(text.string, text.font.name, text.font.size, x, y, b);
    addInk({b[0], b[1], b[2], b[3]});
  } else {
    clean_ = false;
  }
}

}  // namespace orbelune
