#include "cairo/text_engine.h"

#include <algorithm>
#include <cmath>

#include "cairo/pixel_blend.h"

namespace orbelune {
namespace {

// Fonts kept with their glyph tables: the status line's size, the fitting
// loop's shrunk sizes and the frame-rate overlay's, with room to spare.
constexpr std::size_t kTablesKept = 8;

}  // namespace

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
  tables_.clear();  // their layouts, on the context
  pango_font_description_free(font_);
  g_object_unref(layout_);
  g_object_unref(context_);
}

void TextEngine::setComposesLines(bool on) {
  composes_ = on;
  size_ = -1.0;  // prepare the next line afresh
}

void TextEngine::prepare(const std::string& text, const std::string& family, double size) {
  if (text == text_ && family == family_ && size == size_) {
    // The fonts changed under the composed line (the context was matched to
    // a target): compose it again, as Pango lays its layout out again.
    if (composed_ && pango_context_get_serial(context_) != lineSerial_) recompose();
    return;
  }
  text_ = text;
  family_ = family;
  size_ = size;
  // Pango cannot lay out at zero or negative sizes; such a line has no extent.
  usable_ = std::isfinite(size) && size > 0.0 ? std::min(size, 100000.0) : 0.0;
  composed_ = usable_ > 0.0 && !text.empty() && compose();
  if (composed_) {
    box_ = Size{static_cast<double>(line_.logical.width) / PANGO_SCALE,
                static_cast<double>(line_.logical.height) / PANGO_SCALE};
    return;
  }
  layOut();
  if (usable_ <= 0.0 || text.empty()) {
    box_ = Size{0.0, 0.0};
    return;
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout_, nullptr, &logical);
  box_ = Size{static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

void TextEngine::recompose() {
  composed_ = compose();
  if (!composed_) layOut();
}

bool TextEngine::compose() {
  lineTable_ = nullptr;
  GlyphTable* glyphs = composes_ ? table() : nullptr;
  if (!glyphs || !glyphs->compose(text_, line_)) return false;
  lineTable_ = glyphs;
  lineSerial_ = pango_context_get_serial(context_);
  return true;
}

void TextEngine::layOut() {
  pango_font_description_set_family(font_, family_.c_str());
  pango_font_description_set_absolute_size(font_, usable_ * PANGO_SCALE);
  pango_layout_set_font_description(layout_, font_);
  pango_layout_set_text(layout_, text_.c_str(), static_cast<int>(text_.size()));
  ++shapings_;
}

GlyphTable* TextEngine::table() {
  const guint serial = pango_context_get_serial(context_);
  if (serial != tablesSerial_) {
    tables_.clear();
    tablesSerial_ = serial;
  }
  auto it = std::find_if(tables_.begin(), tables_.end(),
                         [&](const Table& t) { return t.size == usable_ && t.family == family_; });
  if (it == tables_.end()) {
    // A font asked for once (a fitting pass's size that is not asked again)
    // is not worth a table: it is made the second time.
    if (tables_.size() == kTablesKept) tables_.erase(tables_.begin());
    tables_.push_back(Table{family_, usable_, nullptr});
    return nullptr;
  }
  if (it != tables_.end() - 1) std::rotate(it, it + 1, tables_.end());
  Table& latest = tables_.back();
  if (!latest.glyphs && !latest.refused) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, family_.c_str());
    pango_font_description_set_absolute_size(font, usable_ * PANGO_SCALE);
    latest.glyphs = GlyphTable::create(context_, font, shapings_);
    pango_font_description_free(font);
    latest.refused = !latest.glyphs;
  }
  return latest.glyphs.get();
}

Size TextEngine::measure(const std::string& text, const std::string& family, double size) {
  prepare(text, family, size);
  return box_;
}

void TextEngine::inkBounds(const std::string& text, const std::string& family, double size, double x, double y,
                           int out[4]) {
  prepare(text, family, size);
  PangoRectangle ink, logical;
  if (composed_) {
    ink = line_.ink;
    logical = line_.logical;
  } else {
    pango_layout_get_extents(layout_, &ink, &logical);
  }
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
  if (composed_ && pango_context_get_serial(context_) != lineSerial_) recompose();
  drewMasks_ = false;
  // Surfaces that keep the text beside its glyphs (PDF, SVG) are given it by
  // Pango, which draws there with another call.
  if (composed_ && !cairo_surface_has_show_text_glyphs(cairo_get_target(cr))) {
    drawComposed(cr, x, y);
    return;
  }
  if (composed_) layOut();
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout_);
}

void TextEngine::drawComposed(cairo_t* cr, double x, double y) {
  // As pango_cairo_show_layout: the origin is the current point (which Cairo
  // keeps in 1/256 pixel), the run starts at the line's left end on its
  // baseline, and each glyph at its pen position plus its offset.
  cairo_move_to(cr, x, y);
  double originX, originY;
  cairo_get_current_point(cr, &originX, &originY);
  const double baseY = originY + static_cast<double>(line_.baseline) / PANGO_SCALE;
  glyphs_.resize(line_.glyphs.size());
  int pen = 0;
  for (std::size_t i = 0; i < line_.glyphs.size(); ++i) {
    const LineGlyph& g = line_.glyphs[i];
    glyphs_[i].index = g.glyph;
    glyphs_[i].x = originX + static_cast<double>(pen + g.xOffset) / PANGO_SCALE;
    glyphs_[i].y = g.yOffset == 0 ? baseY : baseY + static_cast<double>(g.yOffset) / PANGO_SCALE;
    pen += g.width;
  }
  drewMasks_ = drawMasks(cr);
  if (drewMasks_) return;
  cairo_save(cr);
  cairo_set_scaled_font(cr, lineTable_->scaledFont());
  cairo_show_glyphs(cr, glyphs_.data(), static_cast<int>(glyphs_.size()));
  cairo_restore(cr);
}

bool TextEngine::drawMasks(cairo_t* cr) {
  // Only where the glyphs would go straight into an image surface's pixels:
  // a solid source OVER them, no transformation, group or clip in the way.
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_get_group_target(cr) != target || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) {
    return false;
  }
  const cairo_format_t format = cairo_image_surface_get_format(target);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return false;
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  double dx, dy, sx, sy;
  cairo_surface_get_device_offset(target, &dx, &dy);
  cairo_surface_get_device_scale(target, &sx, &sy);
  if (m.xx != 1.0 || m.yx != 0.0 || m.xy != 0.0 || m.yy != 1.0 || m.x0 != 0.0 || m.y0 != 0.0 || dx != 0.0 ||
      dy != 0.0 || sx != 1.0 || sy != 1.0) {
    return false;
  }
  Color source;
  if (cairo_pattern_get_rgba(cairo_get_source(cr), &source.red, &source.green, &source.blue, &source.alpha) !=
      CAIRO_STATUS_SUCCESS) {
    return false;
  }
  const int width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
  cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
  const bool unclipped = clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles == 1 &&
                         clip->rectangles[0].x <= 0.0 && clip->rectangles[0].y <= 0.0 &&
                         clip->rectangles[0].x + clip->rectangles[0].width >= width &&
                         clip->rectangles[0].y + clip->rectangles[0].height >= height;
  cairo_rectangle_list_destroy(clip);
  if (!unclipped) return false;
  cairo_surface_flush(target);
  const PixelTarget pixels{reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(target)),
                           cairo_image_surface_get_stride(target) / 4, width, height};
  if (!lineTable_->masks().draw(glyphs_, pixels, premultipliedPixel(source))) return false;
  cairo_surface_mark_dirty(target);
  return true;
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
