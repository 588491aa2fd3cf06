#include "cairo/glyph_table.h"

#include <algorithm>

namespace orbelune {
namespace {

// The letter every probe starts with: it makes the probe's run Latin, as the
// letters of a composed line make its run.
constexpr char kLetter = 'x';

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The one run of the layout's one line, or null.
PangoGlyphItem* onlyRun(PangoLayout* layout) {
  if (pango_layout_get_line_count(layout) != 1) return nullptr;
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
  if (!line || !line->runs || line->runs->next) return nullptr;
  return static_cast<PangoGlyphItem*>(line->runs->data);
}

bool sameAnalysis(const PangoAnalysis& a, const PangoAnalysis& b) {
  return a.font == b.font && a.level == b.level && a.gravity == b.gravity && a.flags == b.flags &&
         a.script == b.script && a.language == b.language && !a.extra_attrs && !b.extra_attrs;
}

bool sameRect(const PangoRectangle& a, const PangoRectangle& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Widens `box` by `glyph` at `x`, as pango_glyph_string_extents unites glyphs'
// ink: an empty box (no width or no height) is replaced, not widened.
void uniteInk(PangoRectangle& box, const PangoRectangle& glyph, int x, int y) {
  if (glyph.width == 0 || glyph.height == 0) return;
  if (box.width == 0 || box.height == 0) {
    box = {x + glyph.x, y + glyph.y, glyph.width, glyph.height};
    return;
  }
  const int left = std::min(box.x, x + glyph.x);
  box.width = std::max(box.x + box.width, x + glyph.x + glyph.width) - left;
  box.x = left;
  const int top = std::min(box.y, y + glyph.y);
  box.height = std::max(box.y + box.height, y + glyph.y + glyph.height) - top;
  box.y = top;
}

}  // namespace

std::unique_ptr<GlyphTable> GlyphTable::create(PangoContext* context, const PangoFontDescription* font,
                                               long& shapings) {
  std::unique_ptr<GlyphTable> table(new GlyphTable(shapings));
  table->probe_ = pango_layout_new(context);
  pango_layout_set_font_description(table->probe_, font);
  pango_layout_set_text(table->probe_, &kLetter, 1);
  ++table->shapings_;
  PangoGlyphItem* run = onlyRun(table->probe_);
  if (!run || !run->item->analysis.font || !PANGO_IS_CAIRO_FONT(run->item->analysis.font)) return nullptr;
  const PangoAnalysis& analysis = run->item->analysis;
  if (analysis.extra_attrs || analysis.level != 0) return nullptr;
  table->font_ = PANGO_FONT(g_object_ref(analysis.font));
  table->analysis_ = analysis;
  table->analysis_.font = table->font_;
  table->scaledFont_ = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(table->font_));
  if (!table->scaledFont_ || cairo_scaled_font_status(table->scaledFont_) != CAIRO_STATUS_SUCCESS) return nullptr;
  table->masks_ = std::make_unique<GlyphMasks>(table->scaledFont_);
  table->shaped_ = pango_glyph_string_new();
  if (table->character(kLetter).state != Character::State::usable) return nullptr;
  return table;
}

GlyphTable::~GlyphTable() {
  if (shaped_) pango_glyph_string_free(shaped_);
  if (font_) g_object_unref(font_);
  if (probe_) g_object_unref(probe_);
}

void GlyphTable::shape(const char* text, int length) {
  pango_shape_with_flags(text, length, text, length, &analysis_, shaped_, PANGO_SHAPE_NONE);
  ++shapings_;
}

const GlyphTable::Character& GlyphTable::character(char c) {
  Character& entry = characters_[static_cast<unsigned char>(c) - kFirst];
  if (entry.state != Character::State::unknown) return entry;
  entry.state = Character::State::refused;
  if (c != kLetter && character(kLetter).state != Character::State::usable) return entry;

  // The letter and the character laid out whole: Pango must draw them as one
  // run in the table's font, and the composed pair must come out the same.
  const char probe[2] = {kLetter, c};
  pango_layout_set_text(probe_, probe, 2);
  ++shapings_;
  PangoGlyphItem* run = onlyRun(probe_);
  if (!run || !sameAnalysis(run->item->analysis, analysis_)) return entry;
  std::vector<LineGlyph> laidOut;
  for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
    const PangoGlyphInfo& g = run->glyphs->glyphs[i];
    laidOut.push_back({g.glyph, g.geometry.width, g.geometry.x_offset, g.geometry.y_offset});
  }
  PangoRectangle ink, logical;
  pango_layout_get_extents(probe_, &ink, &logical);
  const int baseline = pango_layout_get_baseline(probe_);

  shape(&c, 1);
  if (shaped_->num_glyphs != 1) return entry;
  const PangoGlyphInfo& g = shaped_->glyphs[0];
  if (g.glyph == PANGO_GLYPH_EMPTY || (g.glyph & PANGO_GLYPH_UNKNOWN_FLAG)) return entry;
  entry.glyph = {g.glyph, g.geometry.width, g.geometry.x_offset, g.geometry.y_offset};
  pango_font_get_glyph_extents(font_, g.glyph, &entry.ink, &entry.logical);
  entry.state = Character::State::usable;

  ComposedLine composed;
  const bool same = compose(std::string(probe, 2), composed) && composed.glyphs.size() == laidOut.size() &&
                    std::equal(laidOut.begin(), laidOut.end(), composed.glyphs.begin(),
                               [](const LineGlyph& a, const LineGlyph& b) {
                                 return a.glyph == b.glyph && a.width == b.width && a.xOffset == b.xOffset &&
                                        a.yOffset == b.yOffset;
                               }) &&
                    sameRect(composed.ink, ink) && sameRect(composed.logical, logical) &&
                    composed.baseline == baseline;
  if (!same) entry.state = Character::State::refused;
  return entry;
}

int GlyphTable::pairChange(char first, char second) {
  std::int32_t& change = pairs_[(static_cast<unsigned char>(first) - kFirst) * kCount +
                                (static_cast<unsigned char>(second) - kFirst)];
  if (change != kPairUnknown) return change;
  const Character& a = character(first);
  const Character& b = character(second);
  const char pair[2] = {first, second};
  shape(pair, 2);
  change = kPairRefused;
  if (shaped_->num_glyphs != 2) return change;
  const PangoGlyphInfo& g0 = shaped_->glyphs[0];
  const PangoGlyphInfo& g1 = shaped_->glyphs[1];
  if (g0.glyph != a.glyph.glyph || g0.geometry.x_offset != a.glyph.xOffset ||
      g0.geometry.y_offset != a.glyph.yOffset || g1.glyph != b.glyph.glyph ||
      g1.geometry.width != b.glyph.width || g1.geometry.x_offset != b.glyph.xOffset ||
      g1.geometry.y_offset != b.glyph.yOffset) {
    return change;
  }
  change = g0.geometry.width - a.glyph.width;
  return change;
}

bool GlyphTable::compose(const std::string& text, ComposedLine& line) {
  line.glyphs.clear();
  line.ink = PangoRectangle{};
  bool hasLetter = false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < kFirst || static_cast<unsigned char>(c) > kLast) return false;
    hasLetter = hasLetter || isLetter(c);
  }
  if (!hasLetter) return false;

  int x = 0, logicalTop = 0, logicalBottom = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Character& entry = character(text[i]);
    if (entry.state != Character::State::usable) return false;
    LineGlyph glyph = entry.glyph;
    if (i + 1 < text.size()) {
      const int change = pairChange(text[i], text[i + 1]);
      if (change == kPairRefused) return false;
      glyph.width += change;
    }
    // As pango_glyph_string_extents: ink united glyph by glyph at its pen
    // position, the logical box as tall as the tallest glyph's.
    uniteInk(line.ink, entry.ink, x + glyph.xOffset, glyph.yOffset);
    const int top = entry.logical.y, bottom = entry.logical.y + entry.logical.height;
    if (i == 0 || top < logicalTop) logicalTop = top;
    if (i == 0 || bottom > logicalBottom) logicalBottom = bottom;
    x += glyph.width;
    line.glyphs.push_back(glyph);
  }
  // A line without ink (a size too small for any) is left to Pango.
  if (line.ink.width == 0 || line.ink.height == 0) return false;
  // The layout's one line: its logical box at the top left, the baseline at
  // the logical top's depth, the ink hanging from the baseline.
  line.baseline = -logicalTop;
  line.logical = {0, 0, x, logicalBottom - logicalTop};
  line.ink.y += line.baseline;
  return true;
}

}  // namespace orbelune
