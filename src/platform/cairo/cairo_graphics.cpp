#include "platform/cairo/cairo_graphics.h"

#include "platform/cairo/cairo_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orbelune {

// The pixels a path's stroke touches, as runs of coverage values per row: a thin
// line crosses a small part of its bounding box, so only those pixels are blended.
struct CairoGraphics::Coverage {
  struct Span {
    int y, x, length;
    std::size_t offset;  // into `values`
  };
  std::vector<Span> spans;
  std::vector<std::uint8_t> values;
  bool rasterised = false;  // false: degenerate or enormous, stroked directly instead
  double height = 0.0;      // the surface height the coverage was made for
  // The damage tiles the spans touch, for a surface `tileColumns` tiles wide.
  std::vector<std::uint32_t> tiles;
  int tileColumns = -1;
};

namespace {
// Fills rows of 32-bit pixels. On x86-64 the string store does it at memset's
// speed; a plain loop, even of 16-byte stores, takes about twice as long.
void fillPixels(unsigned char* base, int stride, int width, int rows, std::uint32_t pixel) {
  for (int y = 0; y < rows; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(y) * stride);
#if defined(__x86_64__)
    void* dst = row;
    std::size_t count = static_cast<std::size_t>(width);
    asm volatile("rep stosl" : "+D"(dst), "+c"(count) : "a"(pixel) : "memory");
#else
    std::fill_n(row, width, pixel);
#endif
  }
}

// A colour channel in 8 bits the way Cairo turns it into a pixman colour:
// 16 bits rounded, then the high byte.
inline std::uint32_t channelTo8(double v) {
  return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5) >> 8;
}

// Four 8-bit channels at once, two per 32-bit word, rounded as pixman rounds.
constexpr std::uint32_t kRB = 0x00ff00ff;
inline std::uint32_t mulPair(std::uint32_t x, std::uint32_t a) {  // (x & kRB) * a / 255
  std::uint32_t t = (x & kRB) * a + 0x00800080;
  return ((t + ((t >> 8) & kRB)) >> 8) & kRB;
}
inline std::uint32_t addPairSaturated(std::uint32_t x, std::uint32_t y) {
  std::uint32_t t = x + y;
  t |= 0x10000100 - ((t >> 8) & kRB);
  return t & kRB;
}
inline std::uint32_t mulPixel(std::uint32_t p, std::uint32_t a) {
  return mulPair(p, a) | (mulPair(p >> 8, a) << 8);
}
inline std::uint32_t addPixelSaturated(std::uint32_t p, std::uint32_t q) {
  return addPairSaturated(p & kRB, q & kRB) | (addPairSaturated((p >> 8) & kRB, (q >> 8) & kRB) << 8);
}

// OVER of a solid premultiplied source through coverage values, onto a run of
// pixels: the per-pixel formula below, four pixels at a time where SSE2 is
// there (every x86-64). The 16-bit lanes hold the same exact integers as the
// scalar pairs, so both give the same bytes.
void blendRun(std::uint32_t* dst, const std::uint8_t* coverage, int count, std::uint32_t src) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi16(0x80);
  const __m128i full = _mm_set1_epi16(255);
  const __m128i source = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(src)), zero);
  auto mul = [&](__m128i x, __m128i a) {  // x * a / 255, rounded as pixman rounds
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, a), half);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  auto alphaOf = [](__m128i p) {  // each pixel's alpha lane in all four of its lanes
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
  };
  for (; i + 4 <= count; i += 4) {
    std::uint32_t four;
    std::memcpy(&four, coverage + i, 4);
    const __m128i c16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(four)), zero);
    const __m128i pairs = _mm_unpacklo_epi16(c16, c16);
    const __m128i sLow = mul(source, _mm_unpacklo_epi32(pairs, pairs));
    const __m128i sHigh = mul(source, _mm_unpackhi_epi32(pairs, pairs));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i dLow = mul(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(full, alphaOf(sLow)));
    const __m128i dHigh = mul(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(full, alphaOf(sHigh)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                     _mm_adds_epu8(_mm_packus_epi16(sLow, sHigh), _mm_packus_epi16(dLow, dHigh)));
  }
#endif
  for (; i < count; ++i) {
    const std::uint32_t s = mulPixel(src, coverage[i]);
    dst[i] = addPixelSaturated(s, mulPixel(dst[i], 255 - (s >> 24)));
  }
}

cairo_line_join_t cairoJoin(LineJoinStyle s) {
  switch (s) {
    case LineJoinStyle::Round: return CAIRO_LINE_JOIN_ROUND;
    case LineJoinStyle::Bevel: return CAIRO_LINE_JOIN_BEVEL;
    default: return CAIRO_LINE_JOIN_MITER;
  }
}
}  // namespace

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

namespace {
std::uint32_t premultipliedPixel(const Color& c) {
  auto to8 = channelTo8;
  const double a = std::clamp(c.alpha, 0.0, 1.0);
  return to8(a) << 24 | to8(c.red * a) << 16 | to8(c.green * a) << 8 | to8(c.blue * a);
}
}  // namespace

void CairoGraphics::fillBox(const PixelBox& b, std::uint32_t pixel) {
  unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  fillPixels(base + static_cast<std::ptrdiff_t>(b.y0) * stride + static_cast<std::ptrdiff_t>(b.x0) * 4, stride,
             b.x1 - b.x0, b.y1 - b.y0, pixel);
}

void CairoGraphics::addInk(const PixelBox& box) {
  inkBoxes_.push_back(box);
  ink_.add(box);
  damage_.add(box);
}

void CairoGraphics::clearInk(std::uint32_t pixel) {
  // Exactly the pixels drawn: thin strokes touch a small part of their tiles.
  unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  const int height = static_cast<int>(height_);
  for (const auto& cov : inkStrokes_) {
    for (const auto& span : cov->spans) {
      if (span.y < 0 || span.y >= height) continue;
      const int x0 = std::max(span.x, 0), x1 = std::min(span.x + span.length, width_);
      if (x1 > x0) std::fill_n(reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(span.y) * stride) + x0, x1 - x0, pixel);
    }
  }
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

std::vector<PixelBox> CairoGraphics::takeDamage() {
  std::vector<PixelBox> boxes =
      allDamaged_ ? std::vector<PixelBox>{{0, 0, width_, static_cast<int>(height_)}} : damage_.boxes();
  damage_.clear();
  allDamaged_ = false;
  return boxes;
}

void CairoGraphics::setTracksDamage(bool on) {
  tracksDamage_ = on;
  clean_ = false;
}

void CairoGraphics::tracePath(cairo_t* cr, const BezierPath& path, double dx, double dy) const {
  cairo_new_path(cr);
  for (const auto& e : path.elements()) {
    double x = e.point.x - dx;
    double y = height_ - e.point.y - dy;
    if (e.isMove) cairo_move_to(cr, x, y);
    else cairo_line_to(cr, x, y);
  }
  cairo_set_line_width(cr, path.lineWidth());
  cairo_set_line_join(cr, cairoJoin(path.lineJoinStyle()));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void CairoGraphics::strokeUncached(const BezierPath& path) {
  tracePath(cr_, path, 0.0, 0.0);
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

std::shared_ptr<CairoGraphics::Coverage> CairoGraphics::coverageOf(const BezierPath& path) {
  auto cached = std::static_pointer_cast<Coverage>(path.backendCache);
  if (cached && cached->height == height_) return cached;

  auto cov = std::make_shared<Coverage>();
  cov->height = height_;
  path.backendCache = cov;
  const auto& els = path.elements();
  if (els.empty()) return cov;
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const auto& e : els) {
    double x = e.point.x, y = height_ - e.point.y;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  // Butt caps and bevel joins stay within half the line width of the points; a
  // miter can reach further, so other joins get a wider margin.
  double half = std::fabs(path.lineWidth()) * 0.5;
  double margin = (path.lineJoinStyle() == LineJoinStyle::Miter ? half * 10.0 : half) + 2.0;
  double left = std::floor(x0 - margin), top = std::floor(y0 - margin);
  double w = std::ceil(x1 + margin) - left, h = std::ceil(y1 + margin) - top;
  if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0 || w * h > 64e6) {
    return cov;  // degenerate or enormous: strokeUncached handles it
  }
  CairoSurface maskSurface = makeImageSurface(CAIRO_FORMAT_A8, static_cast<int>(w), static_cast<int>(h));
  if (!maskSurface) return cov;
  cairo_surface_t* mask = maskSurface.get();
  cairo_t* mcr = cairo_create(mask);
  tracePath(mcr, path, left, top);
  cairo_set_source_rgba(mcr, 0, 0, 0, 1);
  cairo_stroke(mcr);
  cairo_destroy(mcr);
  cairo_surface_flush(mask);
  const unsigned char* data = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  const int mw = static_cast<int>(w), mh = static_cast<int>(h);
  for (int y = 0; y < mh; ++y) {
    const unsigned char* row = data + y * stride;
    for (int x = 0; x < mw;) {
      if (!row[x]) {
        ++x;
        continue;
      }
      // A run of touched pixels, taken in whole groups of four (with the mask's
      // own values, zero or not, and zeros past its edge) so that blending
      // works four pixels at a time. Coverage 0 leaves a pixel exactly as it
      // is, and the few extra pixels cleared each frame hold background anyway.
      int end = x;
      for (;;) {
        while (end < mw && row[end]) ++end;
        end = x + (end - x + 3) / 4 * 4;
        if (end >= mw || !row[end]) break;
      }
      const int real = std::min(end, mw);
      cov->spans.push_back({static_cast<int>(top) + y, static_cast<int>(left) + x, end - x, cov->values.size()});
      cov->values.insert(cov->values.end(), row + x, row + real);
      cov->values.insert(cov->values.end(), static_cast<std::size_t>(end - real), 0);
      x = end;
    }
  }
  cov->rasterised = true;
  return cov;
}

void CairoGraphics::stroke(const BezierPath& path) {
  if (!cachesCoverage_) {
    strokeUncached(path);
    return;
  }
  auto cov = coverageOf(path);
  if (!cov->rasterised) {
    if (path.elements().size() > 1) strokeUncached(path);
    return;
  }
  blend(cov);
}

void CairoGraphics::blend(const std::shared_ptr<Coverage>& shared) {
  Coverage& cov = *shared;
  // OVER with a solid premultiplied source through the coverage, per pixel:
  // dst = src * c + dst * (1 - alpha(src * c)), in 8-bit steps as pixman rounds them.
  auto to8 = channelTo8;
  const double a = std::clamp(current_.alpha, 0.0, 1.0);
  const std::uint32_t src = to8(a) << 24 | to8(current_.red * a) << 16 | to8(current_.green * a) << 8 |
                            to8(current_.blue * a);
  if (src == 0) return;
  if (cov.tileColumns != ink_.columns()) {
    // Every tile a span touches, found once per path and surface size.
    cov.tiles.clear();
    for (const auto& span : cov.spans) {
      for (auto t : ink_.tilesOf({span.x, span.y, span.x + span.length, span.y + 1})) cov.tiles.push_back(t);
    }
    std::sort(cov.tiles.begin(), cov.tiles.end());
    cov.tiles.erase(std::unique(cov.tiles.begin(), cov.tiles.end()), cov.tiles.end());
    cov.tileColumns = ink_.columns();
  }
  inkStrokes_.push_back(shared);
  ink_.addTiles(cov.tiles);
  damage_.addTiles(cov.tiles);
  cairo_surface_flush(surface_);
  unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  const int width = cairo_image_surface_get_width(surface_);
  const int height = cairo_image_surface_get_height(surface_);
  for (const auto& span : cov.spans) {
    if (span.y < 0 || span.y >= height) continue;
    const int x0 = std::max(span.x, 0), x1 = std::min(span.x + span.length, width);
    auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(span.y) * stride);
    if (x1 > x0) blendRun(row + x0, cov.values.data() + span.offset + (x0 - span.x), x1 - x0, src);
  }
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
