#include "cairo/cairo_graphics.h"

#include "cairo/cairo_surface.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orbelune {

// The pixels a path's stroke touches, laid out for one surface: a thin line
// crosses a small part of its bounding box, so only those pixels are blended.
// Inside the surface they come in groups of four neighbours in a row, each
// with its pixel index and four coverage values, so a frame blends and clears
// a flat list with no per-row bookkeeping; the few groups the surface's left
// or right edge cuts are kept as clipped runs.
struct CairoGraphics::Coverage {
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

// OVER of a solid premultiplied source through coverage values, per pixel:
// dst = src * c + dst * (1 - alpha(src * c)), in 8-bit steps rounded as pixman
// rounds them. Four pixels at a time where SSE2 is there (every x86-64): the
// 16-bit lanes hold the same exact integers as the scalar pairs, so both give
// the same bytes.
class OverSolid {
 public:
  explicit OverSolid(std::uint32_t src) : src_(src) {
#if defined(__SSE2__)
    source_ = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(src)), _mm_setzero_si128());
#endif
  }
  void one(std::uint32_t* dst, std::uint8_t coverage) const {
    const std::uint32_t s = mulPixel(src_, coverage);
    *dst = addPixelSaturated(s, mulPixel(*dst, 255 - (s >> 24)));
  }
  // Four neighbouring pixels; `coverage` holds the first one's in its low byte.
  void four(std::uint32_t* dst, std::uint32_t coverage) const {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i c16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(coverage)), zero);
    const __m128i pairs = _mm_unpacklo_epi16(c16, c16);
    const __m128i sLow = mul(source_, _mm_unpacklo_epi32(pairs, pairs));
    const __m128i sHigh = mul(source_, _mm_unpackhi_epi32(pairs, pairs));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    const __m128i full = _mm_set1_epi16(255);
    const __m128i dLow = mul(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(full, alphaOf(sLow)));
    const __m128i dHigh = mul(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(full, alphaOf(sHigh)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                     _mm_adds_epu8(_mm_packus_epi16(sLow, sHigh), _mm_packus_epi16(dLow, dHigh)));
#else
    for (int i = 0; i < 4; ++i) one(dst + i, static_cast<std::uint8_t>(coverage >> (8 * i)));
#endif
  }
  void run(std::uint32_t* dst, const std::uint8_t* coverage, int count) const {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
      std::uint32_t values;
      std::memcpy(&values, coverage + i, 4);
      four(dst + i, values);
    }
    for (; i < count; ++i) one(dst + i, coverage[i]);
  }

 private:
#if defined(__SSE2__)
  static __m128i mul(__m128i x, __m128i a) {  // x * a / 255, rounded as pixman rounds
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, a), _mm_set1_epi16(0x80));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  }
  static __m128i alphaOf(__m128i p) {  // each pixel's alpha lane in all four of its lanes
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
  }
  __m128i source_;
#endif
  std::uint32_t src_;
};

constexpr std::size_t kKeptMaskBytes = 16u << 20;

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
  const int height = static_cast<int>(height_);
  const int stridePixels = cairo_image_surface_get_stride(surface_) / 4;
  auto cached = std::static_pointer_cast<Coverage>(path.backendCache);
  if (cached && cached->height == height && cached->width == width_ && cached->stridePixels == stridePixels) {
    return cached;
  }

  auto cov = std::make_shared<Coverage>();
  cov->width = width_;
  cov->height = height;
  cov->stridePixels = stridePixels;
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
  if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0 || w * h > 64e6 ||
      std::fabs(left) > 1e9 || std::fabs(top) > 1e9) {
    return cov;  // degenerate or enormous: strokeUncached handles it
  }
  const int mw = static_cast<int>(w), mh = static_cast<int>(h);
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, mw);
  // One zeroed buffer serves every mask and is zeroed again after use; a mask
  // larger than a 4K screen gets a buffer of its own, not kept.
  const std::size_t bytes = static_cast<std::size_t>(stride) * mh;
  std::vector<unsigned char> ownBuffer;
  std::vector<unsigned char>& buffer = bytes > kKeptMaskBytes ? ownBuffer : maskScratch_;
  if (buffer.size() < bytes) buffer.assign(bytes, 0);
  const MaskPlace place{buffer.data(), stride, mw, mh, left, top};

  const int strips = stripsFor(path.elements().size(), mh);
  if (strips == 1) {
    // Each new path is much like the one before: room for as many groups
    // saves growing the list step by step.
    cov->quads.reserve(lastQuads_ + lastQuads_ / 8);
    if (!rasteriseRows(path, place, 0, mh, *cov)) return cov;
    lastQuads_ = cov->quads.size();
  } else {
    // A long path covers much of the screen and takes Cairo milliseconds to
    // rasterise. Horizontal strips of the mask, each rasterised by Cairo on
    // its own (clipping to whole rows changes no pixel), are shared out
    // between this thread and one more, and joined in order.
    std::vector<Coverage> parts(static_cast<std::size_t>(strips));
    std::vector<char> done(static_cast<std::size_t>(strips), 0);
    std::atomic<int> next{0};
    auto work = [&] {
      for (int i; (i = next.fetch_add(1)) < strips;) {
        done[i] = rasteriseRows(path, place, mh * i / strips, mh * (i + 1) / strips, parts[i]);
      }
    };
    std::future<void> helper;
    try {
      helper = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
      // No thread to be had: this one takes every strip.
    }
    work();
    if (helper.valid()) helper.get();
    if (std::find(done.begin(), done.end(), 0) != done.end()) return cov;
    std::size_t quads = 0, runs = 0, values = 0;
    for (const Coverage& part : parts) {
      quads += part.quads.size();
      runs += part.runs.size();
      values += part.runValues.size();
    }
    cov->quads.reserve(quads);
    cov->runs.reserve(runs);
    cov->runValues.reserve(values);
    for (const Coverage& part : parts) {
      cov->quads.insert(cov->quads.end(), part.quads.begin(), part.quads.end());
      for (Coverage::Run run : part.runs) {
        run.offset += cov->runValues.size();
        cov->runs.push_back(run);
      }
      cov->runValues.insert(cov->runValues.end(), part.runValues.begin(), part.runValues.end());
    }
  }
  findTiles(*cov);
  cov->rasterised = true;
  return cov;
}

int CairoGraphics::stripsFor(std::size_t elements, int maskRows) {
  constexpr std::size_t kElementsWorthAThread = 512;
  constexpr int kStrips = 4;  // more than the threads, so that one dense strip does not hold up the other thread
  constexpr int kLeastRowsAStrip = 64;
  if (elements < kElementsWorthAThread || maskRows < kStrips * kLeastRowsAStrip) return 1;
  if (std::thread::hardware_concurrency() < 2) return 1;
  return kStrips;
}

bool CairoGraphics::rasteriseRows(const BezierPath& path, const MaskPlace& mask, int rowFrom, int rowTo,
                                  Coverage& out) const {
  unsigned char* data = mask.data + static_cast<std::ptrdiff_t>(rowFrom) * mask.stride;
  const int rows = rowTo - rowFrom;
  {
    CairoSurface surface{cairo_image_surface_create_for_data(data, CAIRO_FORMAT_A8, mask.width, rows, mask.stride)};
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    cairo_t* mcr = cairo_create(surface.get());
    tracePath(mcr, path, mask.left, mask.top + rowFrom);
    cairo_set_source_rgba(mcr, 0, 0, 0, 1);
    cairo_stroke(mcr);
    cairo_destroy(mcr);
    cairo_surface_flush(surface.get());
  }
  const int height = static_cast<int>(height_);
  const int stridePixels = cairo_image_surface_get_stride(surface_) / 4;
  const int maskLeft = static_cast<int>(mask.left), maskTop = static_cast<int>(mask.top) + rowFrom;
  const int mw = mask.width;
  for (int y = 0; y < rows; ++y) {
    const int surfaceY = maskTop + y;
    unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * mask.stride;
    if (surfaceY < 0 || surfaceY >= height) {  // never shown
      std::memset(row, 0, static_cast<std::size_t>(mw));
      continue;
    }
    for (int x = 0; x < mw;) {
#if defined(__SSE2__)
      // Skip untouched pixels sixteen at a time.
      while (x + 16 <= mw &&
             _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)),
                                              _mm_setzero_si128())) == 0xffff) {
        x += 16;
      }
#endif
      if (x >= mw) break;
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
      const std::uint32_t rowStart = static_cast<std::uint32_t>(surfaceY) * static_cast<std::uint32_t>(stridePixels);
      for (int g = x; g < end; g += 4) {
        std::uint8_t values[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4 && g + i < mw; ++i) values[i] = row[g + i];
        const int sx = maskLeft + g;
        if (sx >= 0 && sx + 4 <= width_) {
          std::uint32_t packed = 0;
          for (int i = 3; i >= 0; --i) packed = packed << 8 | values[i];
          out.quads.push_back({rowStart + static_cast<std::uint32_t>(sx), packed});
        } else {
          // Cut by the surface's edge: only the pixels inside.
          const int from = std::max(sx, 0), to = std::min(sx + 4, width_);
          if (to <= from) continue;
          out.runs.push_back({rowStart + static_cast<std::uint32_t>(from), to - from, out.runValues.size()});
          out.runValues.insert(out.runValues.end(), values + (from - sx), values + (to - sx));
        }
      }
      x = end;
    }
    std::memset(row, 0, static_cast<std::size_t>(mw));
  }
  return true;
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

void CairoGraphics::findTiles(Coverage& cov) {
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

void CairoGraphics::blend(const std::shared_ptr<Coverage>& shared) {
  Coverage& cov = *shared;
  auto to8 = channelTo8;
  const double a = std::clamp(current_.alpha, 0.0, 1.0);
  const std::uint32_t src = to8(a) << 24 | to8(current_.red * a) << 16 | to8(current_.green * a) << 8 |
                            to8(current_.blue * a);
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
