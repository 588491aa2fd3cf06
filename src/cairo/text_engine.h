#pragma once
#include <pango/pangocairo.h>

#include <memory>
#include <string>
#include <vector>

#include "cairo/glyph_table.h"
#include "contracts/geometry.h"

namespace orbelune {

// Lays out one line of text with Pango. One context and one layout live as long
// as the engine, so measuring and drawing every frame builds no font map, context
// or layout. Metrics are unhinted so a width follows the requested size smoothly.
//
// A line that changes every frame (the status line's sweeping digits) would
// be itemised and shaped every frame. Instead, a font asked for again gets a
// GlyphTable, and its lines are composed from glyphs shaped once and drawn
// with Cairo, with the glyphs, positions, font and boxes Pango's layout
// gives them; a line the table cannot compose is laid out by Pango.
class TextEngine {
 public:
  TextEngine();
  ~TextEngine();
  TextEngine(const TextEngine&) = delete;
  TextEngine& operator=(const TextEngine&) = delete;

  // The logical box of the string in `family` at `size` points (1 point = 1 pixel).
  Size measure(const std::string& text, const std::string& family, double size);
  // The device pixels that drawing the string at (x, y) may touch: its ink and
  // logical boxes together, rounded outwards, as {x0, y0, x1, y1}.
  void inkBounds(const std::string& text, const std::string& family, double size, double x, double y, int out[4]);
  // Draws the string with the top-left corner of its box at (x, y) in device space.
  void show(cairo_t* cr, const std::string& text, const std::string& family, double size, double x, double y);
  // The family fontconfig actually picked for `family` (for diagnostics and tests).
  std::string resolvedFamily(const std::string& family);

  // Whether lines are composed from glyph tables (on by default); off, Pango
  // lays out every line, the reference composing is held to.
  void setComposesLines(bool on);
  // Whether the line last measured or drawn was composed.
  bool composedLast() const { return composed_; }
  // Whether the line last drawn went through the glyphs' kept images.
  bool drewMasksLast() const { return drewMasks_; }
  // How many layouts and shapings the engine has asked of Pango.
  long shapings() const { return shapings_; }

 private:
  struct Table {
    std::string family;
    double size;
    std::unique_ptr<GlyphTable> glyphs;  // null: asked for once only, or refused
    bool refused = false;                // its letter is not one run in a Cairo font
  };

  void prepare(const std::string& text, const std::string& family, double size);
  // Composes the prepared text into line_, or lays it out when it cannot be
  // composed; the measured box stays as it was.
  void recompose();
  bool compose();
  void layOut();
  // The table for the prepared font in the context as it is now, or null.
  GlyphTable* table();
  void drawComposed(cairo_t* cr, double x, double y);
  // Draws glyphs_ from the line's kept glyph images; false if it cannot
  // promise Cairo's pixels there (then nothing is drawn).
  bool drawMasks(cairo_t* cr);

  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  PangoFontDescription* font_ = nullptr;
  cairo_t* updatedFor_ = nullptr;  // the context last matched to this target
  std::string text_;
  std::string family_;
  double size_ = -1.0;
  double usable_ = 0.0;  // the size Pango is given
  Size box_;

  bool composes_ = true;
  bool composed_ = false;
  bool drewMasks_ = false;
  ComposedLine line_;
  GlyphTable* lineTable_ = nullptr;  // the table line_ was composed with, while composed_
  guint lineSerial_ = 0;             // the context's serial when it was composed
  // The fonts asked for lately, the latest last, in the context's state `tablesSerial_`.
  std::vector<Table> tables_;
  guint tablesSerial_ = 0;
  std::vector<cairo_glyph_t> glyphs_;
  long shapings_ = 0;
};

}  // namespace orbelune
