#include "platform/cairo/cairo_graphics.h"

#include "platform/cairo/cairo_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

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

cairo_line_join_t cairoJoin(LineJoinStyle s) {
  switch (s) {
    case LineJoinStyle::Round: return CAIRO_LINE_JOIN_ROUND;
    case LineJoinStyle::Bevel: return CAIRO_LINE_JOIN_BEVEL;
    default: return CAIRO_LINE_JOIN_MITER;
  }
}
}  // namespace

CairoGraphics::CairoGraphics(cairo_surface_t* surface)
    : surface_(surface), cr_(cairo_create(surface)), height_(cairo_image_surface_get_height(surface)) {}

CairoGraphics::~CairoGraphics() { cairo_destroy(cr_); }

void CairoGraphics::setColor(const ColorField& held, const Color& shown) {
  (void)held;
  current_ = shown;
}

void CairoGraphics::rectFill(const Rect& r) {
  const int width = cairo_image_surface_get_width(surface_);
  if (r.origin.x <= 0.0 && r.origin.y <= 0.0 && r.origin.x + r.size.width >= width &&
      r.origin.y + r.size.height >= height_) {
    // The whole surface: write the premultiplied pixel directly, at memset speed.
    auto to8 = channelTo8;
    const double a = std::clamp(current_.alpha, 0.0, 1.0);
    const std::uint32_t pixel = to8(a) << 24 | to8(current_.red * a) << 16 | to8(current_.green * a) << 8 |
                                to8(current_.blue * a);
    cairo_surface_flush(surface_);
    unsigned char* base = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    fillPixels(base, stride, width, static_cast<int>(height_), pixel);
    cairo_surface_mark_dirty(surface_);
    return;
  }
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_rectangle(cr_, r.origin.x, height_ - r.origin.y - r.size.height, r.size.width, r.size.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
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
  cairo_set_source_rgba(cr_, current_.red, current_.green, current_.blue, current_.alpha);
  cairo_stroke(cr_);
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
      int end = x;
      while (end < mw && row[end]) ++end;
      cov->spans.push_back({static_cast<int>(top) + y, static_cast<int>(left) + x, end - x, cov->values.size()});
      cov->values.insert(cov->values.end(), row + x, row + end);
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
  blend(*cov);
}

void CairoGraphics::blend(const Coverage& cov) {
  // OVER with a solid premultiplied source through the coverage, per pixel:
  // dst = src * c + dst * (1 - alpha(src * c)), in 8-bit steps as pixman rounds them.
  auto to8 = channelTo8;
  const double a = std::clamp(current_.alpha, 0.0, 1.0);
  const std::uint32_t src = to8(a) << 24 | to8(current_.red * a) << 16 | to8(current_.green * a) << 8 |
                            to8(current_.blue * a);
  if (src == 0) return;
  cairo_surface_flush(surface_);
  unsigned char* base = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  const int width = cairo_image_surface_get_width(surface_);
  const int height = cairo_image_surface_get_height(surface_);
  for (const auto& span : cov.spans) {
    if (span.y < 0 || span.y >= height) continue;
    const int x0 = std::max(span.x, 0), x1 = std::min(span.x + span.length, width);
    auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(span.y) * stride);
    const std::uint8_t* c = cov.values.data() + span.offset + (x0 - span.x);
    for (int x = x0; x < x1; ++x, ++c) {
      const std::uint32_t s = mulPixel(src, *c);
      row[x] = addPixelSaturated(s, mulPixel(row[x], 255 - (s >> 24)));
    }
  }
  cairo_surface_mark_dirty(surface_);
}

Size CairoGraphics::measureText(const StyledString& text) {
  return text_.measure(text.string, text.font.name, text.font.size);
}

void CairoGraphics::drawText(const StyledString& text, Point point, const Color& shown) {
  Size box = text_.measure(text.string, text.font.name, text.font.size);
  cairo_save(cr_);
  cairo_set_source_rgba(cr_, shown.red, shown.green, shown.blue, shown.alpha);
  text_.show(cr_, text.string, text.font.name, text.font.size, point.x, height_ - point.y - box.height);
  cairo_restore(cr_);
}

}  // namespace orbelune
