#pragma once
// A font's glyphs as the coverage masks Cairo composites them with, rendered
// once by Cairo and kept, so that a line of them is drawn into an image
// surface with the same OVER arithmetic the strokes use, without Cairo,
// pixman or their glyph caches in the way.
#include <cairo.h>

#include <cstdint>
#include <vector>

namespace orbelune {

// The pixels of one image surface (ARGB32 or RGB24) a line is drawn into.
struct PixelTarget {
  std::uint32_t* pixels;
  int stridePixels, width, height;
};

// Cairo's image backend draws a glyph from an A8 image placed at a whole
// pixel: with Cairo 1.16 the glyph's origin rounded to the nearest pixel,
// with later Cairo the origin's quarter pixel chooses one of four images
// rendered at that offset. Both depend on the origin's fraction only through
// the interval it falls in, cut at 1/8, 3/8, 1/2, 5/8 and 7/8: a glyph
// rendered once alone, at an origin in the same interval shifted by whole
// pixels, is the image Cairo uses for every origin in that interval.
//
// Several glyphs go through one mask their images are added into when Cairo
// finds a glyph's box (its ink extents at its origin, in 1/256 pixel)
// overlapping the boxes before it, and are blended one after another
// otherwise; both are done here the same way, and a line whose test could
// come out either way is left to Cairo.
class GlyphMasks {
 public:
  // `font` must outlive the masks.
  explicit GlyphMasks(cairo_scaled_font_t* font);

  // Draws the glyphs in solid premultiplied `source` over `target`, as
  // cairo_show_glyphs with the OVER operator draws them. False, with nothing
  // drawn, when that cannot be promised.
  bool draw(const std::vector<cairo_glyph_t>& glyphs, PixelTarget target, std::uint32_t source);

 private:
  struct Mask {
    std::uint32_t key = 0;  // glyph index and the two intervals; 0: an empty slot
    bool usable = false;
    int left = 0, top = 0;  // the image's top left from the origin's whole-pixel base
    int width = 0, height = 0;
    std::size_t offset = 0;  // into pool_
    std::int32_t box[4] = {0, 0, 0, 0};  // Cairo's ink box from the origin, 1/256 pixel: x0, y0, x1, y1
  };
  // The origin's whole-pixel base and the interval (0-4) of its fraction.
  static void split(double v, int& base, int& interval);
  Mask mask(unsigned long glyph, double x, double y);
  void render(Mask& m, unsigned long glyph, double fx, double fy);

  cairo_scaled_font_t* font_;
  bool usable_;  // extents in device pixels (the font's CTM is the identity), at a size shown to match
  std::vector<Mask> slots_ = std::vector<Mask>(256);  // open addressing, at most half full
  std::size_t used_ = 0;
  std::vector<std::uint8_t> pool_;       // every kept image, row after row
  std::vector<std::uint8_t> scratch_;    // one glyph rendered alone
  std::vector<std::uint8_t> line_;       // a line's coverage, zero between uses
  struct Placed {
    Mask mask;
    int x, y;
  };
  std::vector<Placed> placed_;
};

}  // namespace orbelune
