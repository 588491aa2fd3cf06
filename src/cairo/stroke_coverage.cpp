#include "cairo/stroke_coverage.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>

#include "cairo/cairo_surface.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orbelune {
namespace {

constexpr std::size_t kKeptMaskBytes = 16u << 20;

cairo_line_join_t cairoJoin(LineJoinStyle s) {
  switch (s) {
    case LineJoinStyle::Round: return CAIRO_LINE_JOIN_ROUND;
    case LineJoinStyle::Bevel: return CAIRO_LINE_JOIN_BEVEL;
    default: return CAIRO_LINE_JOIN_MITER;
  }
}
}  // namespace

void tracePath(cairo_t* cr, const BezierPath& path, double height, double dx, double dy) {
  cairo_new_path(cr);
  for (const auto& e : path.elements()) {
    double x = e.point.x - dx;
    double y = height - e.point.y - dy;
    if (e.isMove) cairo_move_to(cr, x, y);
    else cairo_line_to(cr, x, y);
  }
  cairo_set_line_width(cr, path.lineWidth());
  cairo_set_line_join(cr, cairoJoin(path.lineJoinStyle()));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

std::shared_ptr<StrokeCoverage> StrokeRasteriser::coverageOf(const BezierPath& path, const SurfaceLayout& surface) {
  auto cached = std::static_pointer_cast<StrokeCoverage>(path.backendCache);
  if (cached && cached->height == surface.height && cached->width == surface.width &&
      cached->stridePixels == surface.stridePixels) {
    return cached;
  }

  auto cov = std::make_shared<StrokeCoverage>();
  cov->width = surface.width;
  cov->height = surface.height;
  cov->stridePixels = surface.stridePixels;
  path.backendCache = cov;
  const auto& els = path.elements();
  if (els.empty()) return cov;
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const auto& e : els) {
    double x = e.point.x, y = surface.height - e.point.y;
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
    if (!rasteriseRows(path, surface, place, 0, mh, *cov)) return cov;
    lastQuads_ = cov->quads.size();
  } else {
    // A long path covers much of the screen and takes Cairo milliseconds to
    // rasterise. Horizontal strips of the mask, each rasterised by Cairo on
    // its own (clipping to whole rows changes no pixel), are shared out
    // between this thread and one more, and joined in order.
    std::vector<StrokeCoverage> parts(static_cast<std::size_t>(strips));
    std::vector<char> done(static_cast<std::size_t>(strips), 0);
    std::atomic<int> next{0};
    auto work = [&] {
      for (int i; (i = next.fetch_add(1)) < strips;) {
        done[i] = rasteriseRows(path, surface, place, mh * i / strips, mh * (i + 1) / strips, parts[i]);
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
    for (const StrokeCoverage& part : parts) {
      quads += part.quads.size();
      runs += part.runs.size();
      values += part.runValues.size();
    }
    cov->quads.reserve(quads);
    cov->runs.reserve(runs);
    cov->runValues.reserve(values);
    for (const StrokeCoverage& part : parts) {
      cov->quads.insert(cov->quads.end(), part.quads.begin(), part.quads.end());
      for (StrokeCoverage::Run run : part.runs) {
        run.offset += cov->runValues.size();
        cov->runs.push_back(run);
      }
      cov->runValues.insert(cov->runValues.end(), part.runValues.begin(), part.runValues.end());
    }
  }
  cov->rasterised = true;
  return cov;
}

int StrokeRasteriser::stripsFor(std::size_t elements, int maskRows) {
  constexpr std::size_t kElementsWorthAThread = 512;
  constexpr int kStrips = 4;  // more than the threads, so that one dense strip does not hold up the other thread
  constexpr int kLeastRowsAStrip = 64;
  if (elements < kElementsWorthAThread || maskRows < kStrips * kLeastRowsAStrip) return 1;
  if (std::thread::hardware_concurrency() < 2) return 1;
  return kStrips;
}

bool StrokeRasteriser::rasteriseRows(const BezierPath& path, const SurfaceLayout& surface, const MaskPlace& mask,
                                     int rowFrom, int rowTo, StrokeCoverage& out) {
  unsigned char* data = mask.data + static_cast<std::ptrdiff_t>(rowFrom) * mask.stride;
  const int rows = rowTo - rowFrom;
  {
    CairoSurface maskSurface{cairo_image_surface_create_for_data(data, CAIRO_FORMAT_A8, mask.width, rows, mask.stride)};
    if (cairo_surface_status(maskSurface.get()) != CAIRO_STATUS_SUCCESS) return false;
    cairo_t* mcr = cairo_create(maskSurface.get());
    tracePath(mcr, path, surface.height, mask.left, mask.top + rowFrom);
    cairo_set_source_rgba(mcr, 0, 0, 0, 1);
    cairo_stroke(mcr);
    cairo_destroy(mcr);
    cairo_surface_flush(maskSurface.get());
  }
  const int height = surface.height;
  const int stridePixels = surface.stridePixels;
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
        if (sx >= 0 && sx + 4 <= surface.width) {
          std::uint32_t packed = 0;
          for (int i = 3; i >= 0; --i) packed = packed << 8 | values[i];
          out.quads.push_back({rowStart + static_cast<std::uint32_t>(sx), packed});
        } else {
          // Cut by the surface's edge: only the pixels inside.
          const int from = std::max(sx, 0), to = std::min(sx + 4, surface.width);
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

}  // namespace orbelune
