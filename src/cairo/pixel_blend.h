#pragma once
// Writing 32-bit premultiplied pixels as pixman does, without Cairo in the
// way: filling rows, and OVER of a solid colour through coverage values
// (SSE2 four pixels at a time). Inline: every frame blends every path's
// pixels through these.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "contracts/color.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orbelune {

// Fills rows of 32-bit pixels. On x86-64 the string store does it at memset's
// speed; a plain loop, even of 16-byte stores, takes about twice as long.
inline void fillPixels(unsigned char* base, int stride, int width, int rows, std::uint32_t pixel) {
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

// A colour as the premultiplied pixel Cairo would write for it.
inline std::uint32_t premultipliedPixel(const Color& c) {
  const double a = std::clamp(c.alpha, 0.0, 1.0);
  return channelTo8(a) << 24 | channelTo8(c.red * a) << 16 | channelTo8(c.green * a) << 8 | channelTo8(c.blue * a);
}

}  // namespace orbelune
