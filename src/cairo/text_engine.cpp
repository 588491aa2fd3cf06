#include "cairo/text_engine.h"

#include <algorithm>
#include <cmath>

namespace orbelune {

TextEngine::TextEngine() {
  PangoFontMap* map = pango_cairo_font_map_get_default();  // shared, owned by Pango
  context_ = pango_font_map_create_context(map);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context_, FALSE);
  layout_ = pango_layout_new(context_);
  font_ = pango_font_description_new();
}

TextEngine::~TextEngine() {
  pango_font_description_free(font_);
  g_object_unref(layout_);
  g_object_unref(context_);
}

void TextEngine::prepare(const std::string& text, const std::string& family, double size) {
  if (text == text_ && family == family_ && size == size_) return;
  // Pango cannot lay out at zero or negative sizes; such a line has no extent.
  const double usable = std::isfinite(size) && size > 0.0 ? std::min(size, 100000.0) : 0.0;
  if (family != family_) pango_font_description_set_family(font_, family.c_str());
  pango_font_description_set_absolute_size(font_, usable * PANGO_SCALE);
  pango_layout_set_font_description(layout_, font_);
  pango_layout_set_text(layout_, text.c_str(), static_cast<int>(text.size()));
  text_ = text;
  family_ = family;
  size_ = size;
  if (usable <= 0.0 || text.empty()) {
    box_ = Size{0.0, 0.0};
    return;
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  box_ = Size{static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

Size TextEngine::measure(const std::string& text, const std::string& family, double size) {
  prepare(text, family, size);
  return box_;
}

void TextEngine::inkBounds(const std::string& text, const std::string& family, double size, double x, double y,
                           int out[4]) {
  prepare(text, family, size);
  PangoRectangle ink, logical;
  pango_layout_get_extents(layout_, &ink, &logical);
  pango_extents_to_pixels(&ink, nullptr);
  pango_extents_to_pixels(&logical, nullptr);
  const int left = std::min(ink.x, logical.x), top = std::min(ink.y, logical.y);
  const int right = std::max(ink.x + ink.width, logical.x + logical.width);
  const int bottom = std::max(ink.y + ink.height, logical.y + logical.height);
  // One pixel more on every side for antialiasing at a fractional origin.
  out[0] = static_cast<int>(std::floor(x)) + left - 1;
  out[1] = static_cast<int>(std::floor(y)) + top - 1;
  out[2] = static_cast<int>(std::ceil(x)) + right + 1;
  out[3] = static_cast<int>(std::ceil(y)) + bottom + 1;
}

void TextEngine::show(cairo_t* cr, const std::string& text, const std::string& family, double size, double x,
                      double y) {
  prepare(text, family, size);
  if (box_.width <= 0.0) return;
  // Matching the context to the target once is enough: every later show is on
  // the same surface with the same (identity) matrix, and each update counts
  // as a change that makes Pango lay the line out again.
  if (cr != updatedFor_) {
    pango_cairo_update_context(cr, context_);
    updatedFor_ = cr;
  }
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout_);
}

std::string TextEngine::resolvedFamily(const std::string& family) {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, 16 * PANGO_SCALE);
  PangoFont* font = pango_context_load_font(context_, desc);
  std::string name;
  if (font) {
    PangoFontDescription* got = pango_font_describe(font);
    if (const char* f = pango_font_description_get_family(got)) name = f;
    pango_font_description_free(got);
    g_object_unref(font);
  }
  pango_font_description_free(desc);
  return name;
}

}  // namespace orbelune
