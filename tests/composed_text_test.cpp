// Lines composed from glyph tables (and drawn from the glyphs' kept images)
// against the same lines laid out and drawn by Pango: the pixels, the
// measured box and the ink bounds must be the same, exactly.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>

#include "cairo/cairo_graphics.h"
#include "oscillator/oscillator.h"
#include "test_support.h"
#include "view/status_line.h"

namespace orbelune {
namespace {

// A text engine drawing into a surface of its own, cleared before each line,
// with a translucent source saved and restored around it, as CairoGraphics does.
struct Canvas {
  struct Drawn {
    Size box;
    int ink[4];
  };
  explicit Canvas(bool composes) {
    engine.setComposesLines(composes);
    draw("x", kStatusFontName, 16.0, 0.0, 0.0);  // the context matched to the surface, as after a first frame
  }
  ~Canvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  Drawn draw(const std::string& text, const std::string& family, double size, double x, double y) {
    cairo_set_source_rgb(cr, 0.1, 0.2, 0.3);
    cairo_paint(cr);
    Drawn d{engine.measure(text, family, size), {}};
    cairo_save(cr);
    cairo_set_source_rgba(cr, 1.0, 0.9, 0.6, 0.8);
    engine.show(cr, text, family, size, x, y);
    cairo_restore(cr);
    engine.inkBounds(text, family, size, x, y, d.ink);
    return d;
  }
  const unsigned char* pixels() {
    cairo_surface_flush(surface);
    return cairo_image_surface_get_data(surface);
  }

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 700, 60);
  cairo_t* cr = cairo_create(surface);
  TextEngine engine;
};

// Draws each line with both engines, counting the composed lines and the differences.
struct Comparison {
  Canvas composing{true}, laidOut{false};
  int lines = 0, composed = 0, fromMasks = 0, failures = 0;

  void check(const std::string& text, const std::string& family, double size, double x, double y) {
    // A font gets its table on its second request.
    for (Canvas* c : {&composing, &laidOut}) c->engine.measure("Hz", family, size);
    const Canvas::Drawn a = composing.draw(text, family, size, x, y);
    composed += composing.engine.composedLast();
    fromMasks += composing.engine.drewMasksLast();
    const Canvas::Drawn b = laidOut.draw(text, family, size, x, y);
    ++lines;
    const bool samePixels = std::memcmp(composing.pixels(), laidOut.pixels(), 700 * 60 * 4) == 0;
    if ((a.box.width != b.box.width || a.box.height != b.box.height || !std::equal(a.ink, a.ink + 4, b.ink) ||
         !samePixels) &&
        ++failures <= 10) {
      ADD_FAILURE() << "'" << text << "' in " << family << " at " << size << " from (" << x << ", " << y
                    << "): width " << a.box.width << " against " << b.box.width << ", ink x1 " << a.ink[2]
                    << " against " << b.ink[2] << (samePixels ? "" : ", other pixels");
    }
  }
};

// Values whose "%.2f" forms put every digit in every place, every pair of
// digits side by side, both signs, and long and short numbers.
std::vector<double> statusValues() {
  std::vector<double> values;
  for (int d = 0; d <= 9; ++d) {
    for (double unit : {1.11, 11.11, 111.11, 1111.11, 11111.11}) values.insert(values.end(), {d * unit, -d * unit});
    double run = 0.0;  // d, d+1, ... d+6 (mod 10): each digit beside its successors
    for (int k = 0; k < 7; ++k) run = run * 10 + (d + k) % 10;
    values.insert(values.end(), {run / 100.0, -run / 1000.0});
  }
  for (int ab = 0; ab <= 99; ++ab) values.push_back(ab * 1.01 + (ab % 10 * 10 + ab / 10) * 10.0);
  std::uint32_t seed = 12345;
  for (int i = 0; i < 150; ++i) {
    seed = seed * 1664525u + 1013904223u;
    values.push_back(static_cast<double>(seed >> 8) / (1 << 24) * 20000.0 - 3000.0);
  }
  return values;
}

// The status lines composeStatusLine makes of those values under each of its
// options: frequencies, phases or both, with and without the sweep's time.
std::vector<std::string> statusLines(SweepParameters& sweep) {
  const std::vector<double> v = statusValues();
  const std::size_t n = v.size();
  const StatusInputs options[] = {{true, true, false, 0, 0, 0}, {true, true, false, 1, 0, 0},
                                  {true, true, true, 0, 0, 0},  {true, true, true, 2, 0, 0},
                                  {true, false, true, 0, 0, 0}, {true, false, true, 1, 0, 0}};
  std::vector<std::string> lines;
  sweep.method = 0;
  for (std::size_t i = 0; i < n; ++i) {
    Oscillator x(sweep, v[i], v[i], v[(i + 1) % n], v[(i + 1) % n]);
    Oscillator y(sweep, v[(i + 2) % n], v[(i + 2) % n], v[(i + 3) % n], v[(i + 3) % n]);
    for (std::size_t k : {i % 6, (i + 3) % 6}) {
      StatusInputs in = options[k];
      in.foldedTime = std::abs(v[(i + 4) % n]);
      lines.push_back(composeStatusLine(in, x, y).value());
    }
  }
  return lines;
}

constexpr double kOrigins[8][2] = {{0.0, 0.0}, {10.25, 5.5}, {3.5, 7.75},  {20.125, 2.375},
                                   {7.3, 11.9}, {0.99, 0.01}, {15.6, 4.2}, {2.0 / 3.0, 9.1}};

class ComposedTextTest : public test::IsolatedTest {};

TEST_F(ComposedTextTest, StatusLinesComposeToThePixelsWidthsAndInkOfPangoLayouts) {
  Comparison c;
  MeasuringGraphics measuring;
  int k = 0;
  for (const std::string& line : statusLines(sweep())) {
    // At 16 points from two origins, and fitted to a narrower view from a third.
    c.check(line, kStatusFontName, kStatusFontSize, kOrigins[k % 8][0], kOrigins[k % 8][1]);
    c.check(line, kStatusFontName, kStatusFontSize, kOrigins[(k + 3) % 8][0], kOrigins[(k + 3) % 8][1]);
    const double narrow[] = {320.0, 251.5, 180.0, 97.25};
    const double shrunk = fitStatusLine(measuring, line, Color::white(), narrow[k % 4]).styled.font.size;
    c.check(line, kStatusFontName, shrunk, kOrigins[(k + 5) % 8][0], kOrigins[(k + 5) % 8][1]);
    ++k;
  }
  EXPECT_EQ(c.failures, 0) << "of " << c.lines << " lines";
  EXPECT_EQ(c.composed, c.lines) << "every status line is composed";
  EXPECT_GT(c.fromMasks, c.lines * 3 / 4) << "status lines are drawn from the glyphs' kept images";
}

TEST_F(ComposedTextTest, OtherFontsAndOtherLinesComposeAsPangoLaysThemOutOrAreLaidOutByIt) {
  Comparison c;
  const std::vector<std::string> lines = statusLines(sweep());
  const char* families[] = {"DejaVu Sans", "Liberation Serif", "DejaVu Serif", "No Such Family"};
  const double sizes[] = {16.0, 9.37, 32.0, 23.5};
  for (std::size_t i = 0; i < lines.size(); i += 7) {
    for (int f = 0; f < 4; ++f) c.check(lines[i], families[f], sizes[(i + f) % 4], kOrigins[f][0], kOrigins[f][1]);
  }
  for (const char* line : {"20.0 fps", "19.9 fps, 1.23 ms a frame, 2.4% CPU", "(x) [y] {z} #@!?"}) {
    c.check(line, kStatusFontName, 32.0, 1.75, 3.5);
  }
  const int composed = c.composed;
  EXPECT_GT(composed, c.lines * 3 / 4);
  // Lines with a character from another font, a tab or a line break, without
  // a Latin letter, empty, or with DejaVu Sans's "fi" ligature.
  for (const char* line : {"x: 440.00Hz \xe2\x86\x92 660.00Hz", "Zeit: 2,50\xc2\xa0s", "x:\t1.00Hz", "x: 1\ny: 2",
                           "12.50, -3.25", "\xe6\x97\xa5\xe6\x9c\xac x", "", "   "}) {
    c.check(line, kStatusFontName, 16.0, 3.25, 4.5);
  }
  c.check("x: fine", "DejaVu Sans", 16.0, 1.5, 2.5);
  EXPECT_EQ(c.composed, composed) << "none of those is composed";
  EXPECT_EQ(c.failures, 0) << "of " << c.lines << " lines";
}

TEST_F(ComposedTextTest, ALineDifferingOnlyInDigitsAsksNothingOfPango) {
  Canvas canvas(true);
  // Every pair of digits beside every piece of text around them, twice (a
  // font gets its table on its second request).
  sweep().method = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int ab = 0; ab <= 99; ++ab) {
      const double v = ab + (ab % 10 * 10 + ab / 10) / 100.0;  // "ab.ba"
      Oscillator x(sweep(), v, v, -v, -v), y(sweep(), -v, -v, v, v);
      for (StatusInputs in : {StatusInputs{true, true, true, 1, v, 0}, StatusInputs{true, false, true, 1, v, 0},
                              StatusInputs{true, true, false, 1, v, 0}, StatusInputs{true, true, true, 0, v, 0}}) {
        canvas.draw(composeStatusLine(in, x, y).value(), kStatusFontName, 16.0, 0.5, 0.5);
      }
    }
  }
  const long shapings = canvas.engine.shapings();
  for (const std::string& line : statusLines(sweep())) {
    canvas.draw(line, kStatusFontName, 16.0, 0.25, 0.75);
    ASSERT_TRUE(canvas.engine.composedLast()) << line;
  }
  EXPECT_EQ(canvas.engine.shapings(), shapings);
}

}  // namespace
}  // namespace orbelune
