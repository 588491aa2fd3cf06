#pragma once
#include <pango/pangocairo.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairo/glyph_masks.h"

namespace orbelune {

// One glyph of a composed line, in Pango units, as a glyph string holds it.
struct LineGlyph {
  PangoGlyph glyph;
  int width;
  int xOffset;
  int yOffset;
};

// A line as PangoLayout would lay it out: one run of glyphs in one font, its
// boxes relative to the layout's top left and its baseline (Pango units).
struct ComposedLine {
  std::vector<LineGlyph> glyphs;
  PangoRectangle ink{};
  PangoRectangle logical{};
  int baseline = 0;
};

// The glyphs of one font (a family at a size, in one state of the Pango
// context) for printable ASCII, so that a line made of them is composed
// without being itemised or shaped again.
//
// Each character is shaped once on its own and each pair of neighbours once
// together, with the analysis Pango gives a Latin line in this font. A pair
// that shapes to its two characters' glyphs with only the first one's advance
// changed (pair kerning) is kept as that change; a pair that does anything
// else (a ligature, a second glyph moved) is refused. A character is refused
// when Pango would take it from another font, shape it into other than one
// glyph, or lay it out beside a letter otherwise than the table composes it.
// A line with a refused character or pair, outside printable ASCII, or
// without a Latin letter (which makes its one run Latin) is not composed; the
// caller lays it out with Pango. Composed glyphs, advances and boxes are
// those PangoLayout gives the same text as long as the font's shaping joins
// no more than two neighbours, as kerning pairs do.
class GlyphTable {
 public:
  // Lays out one letter to learn the font and analysis Pango picks for
  // `font` in `context`; null when that is not one run in a Cairo font.
  // Every layout and shaping the table asks of Pango is counted in `shapings`.
  static std::unique_ptr<GlyphTable> create(PangoContext* context, const PangoFontDescription* font,
                                            long& shapings);
  ~GlyphTable();
  GlyphTable(const GlyphTable&) = delete;
  GlyphTable& operator=(const GlyphTable&) = delete;

  // Fills `line` with `text` as PangoLayout would lay it out, shaping only
  // characters and pairs not seen before; false when it cannot be composed.
  bool compose(const std::string& text, ComposedLine& line);
  // The font Pango draws the line's run with.
  cairo_scaled_font_t* scaledFont() const { return scaledFont_; }
  // The glyphs' images in that font, drawn without Cairo.
  GlyphMasks& masks() { return *masks_; }

 private:
  static constexpr int kFirst = 0x20, kLast = 0x7e, kCount = kLast - kFirst + 1;
  struct Character {
    enum class State : std::uint8_t { unknown, usable, refused } state = State::unknown;
    LineGlyph glyph{};
    PangoRectangle ink{}, logical{};
  };
  // What follows a character in a pair: its advance's change, or whether the
  // pair is not yet shaped or refused.
  static constexpr int kPairUnknown = INT32_MIN, kPairRefused = INT32_MIN + 1;

  explicit GlyphTable(long& shapings) : shapings_(shapings) {}
  const Character& character(char c);
  int pairChange(char first, char second);
  // Shapes `text` with the table's analysis, as PangoLayout shapes its run.
  void shape(const char* text, int length);

  PangoLayout* probe_ = nullptr;  // lays out a character beside a letter, to see its font
  PangoFont* font_ = nullptr;
  cairo_scaled_font_t* scaledFont_ = nullptr;  // owned by font_
  std::unique_ptr<GlyphMasks> masks_;          // of scaledFont_
  PangoAnalysis analysis_{};
  PangoGlyphString* shaped_ = nullptr;
  std::array<Character, kCount> characters_{};
  std::vector<std::int32_t> pairs_ = std::vector<std::int32_t>(kCount * kCount, kPairUnknown);
  long& shapings_;
};

}  // namespace orbelune
