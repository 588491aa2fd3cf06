#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "cairo/cairo_graphics.h"
#include "recording/recording_graphics.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

struct Pixel {
  int r, g, b;
};

class Surface {
 public:
  Surface(int w, int h) : s_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)) {}
  ~Surface() { cairo_surface_destroy(s_); }
  cairo_surface_t* get() const { return s_; }
  Pixel at(int x, int y) const {
    cairo_surface_flush(s_);
    const unsigned char* row = cairo_image_surface_get_data(s_) + y * cairo_image_surface_get_stride(s_);
    std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
    return {int(v >> 16 & 0xff), int(v >> 8 & 0xff), int(v & 0xff)};
  }
  int maxDifference(const Surface& other) const {
    cairo_surface_flush(s_);
    cairo_surface_flush(other.s_);
    const int n = cairo_image_surface_get_stride(s_) * cairo_image_surface_get_height(s_);
    const unsigned char* a = cairo_image_surface_get_data(s_);
    const unsigned char* b = cairo_image_surface_get_data(other.s_);
    int worst = 0;
    for (int i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
  }
  // Against a surface `margin` pixels larger on every side, its middle only.
  int maxDifferenceInside(const Surface& larger, int margin) const {
    int worst = 0;
    for (int y = 0; y < cairo_image_surface_get_height(s_); ++y) {
      for (int x = 0; x < cairo_image_surface_get_width(s_); ++x) {
        const Pixel p = at(x, y), q = larger.at(x + margin, y + margin);
        worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
      }
    }
    return worst;
  }

 private:
  cairo_surface_t* s_;
};

class CairoBackendTest : public test::IsolatedTest {};

TEST_F(CairoBackendTest, ArialResolvesToAMetricTwinWhoseWidthScalesWithSize) {
  TextEngine text;
  const std::string family = text.resolvedFamily("Arial");
  EXPECT_TRUE(family == "Liberation Sans" || family == "Arial") << family;
  const std::string line = "Time: 2.50s, x: 440.00Hz, y: 660.00Hz";
  const double w16 = text.measure(line, "Arial", 16.0).width;
  const double w8 = text.measure(line, "Arial", 8.0).width;
  EXPECT_GT(w16, 200.0);
  EXPECT_NEAR(w8 / w16, 0.5, 0.01);
  EXPECT_EQ(text.measure(line, "Arial", 0.0).width, 0.0);
  EXPECT_EQ(text.measure(line, "Arial", -3.0).width, 0.0);
}

TEST_F(CairoBackendTest, AFrameShowsTheFigureOverTheBackgroundAndTheStatusLine) {
  auto clock = std::make_shared<VirtualClock>();
  auto view = newView(makeRect(0, 0, 400, 300), false, clock);
  Surface surface(400, 300);
  CairoGraphics cairo(surface.get());
  RecordingGraphics rec(&cairo);
  view->startAnimation();
  for (int k = 1; k <= 10; ++k) {
    clock->set(0.05 * k);
    view->animateOneFrame();
    rec.clear();
    view->displayIfNeeded(rec);
  }
  // The newest path: a point halfway along its first segment is yellow.
  const auto& newest = std::get<RecordingGraphics::Stroke>(rec.ops()[1]).elements;
  Point a = newest[0].point, b = newest[1].point;
  Pixel onLine = surface.at(int(std::lround((a.x + b.x) / 2)), int(std::lround(300 - (a.y + b.y) / 2)));
  EXPECT_GT(onLine.r, 150);
  EXPECT_GT(onLine.g, 150);
  EXPECT_LT(onLine.b, 60);
  // Far from the figure: the black background.
  Pixel corner = surface.at(5, 5);
  EXPECT_EQ(corner.r + corner.g + corner.b, 0);
  // The status line: white pixels in the bottom rows, around the centre only.
  int white = 0, whiteAtEdges = 0;
  for (int y = 280; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) {
      Pixel p = surface.at(x, y);
      if (p.r > 200 && p.g > 200 && p.b > 200) (x < 60 || x > 340 ? whiteAtEdges : white)++;
    }
  }
  EXPECT_GT(white, 50);
  EXPECT_EQ(whiteAtEdges, 0);
}

TEST_F(CairoBackendTest, CachedCoverageMatchesPlainStrokingWithinOneLevel) {
  auto clock = std::make_shared<VirtualClock>();
  auto view = newView(makeRect(0, 0, 640, 360), false, clock);
  test::editSettings(*view, [](Settings& s) { s.lineWidth = 3.5; });
  Surface cached(640, 360), plain(640, 360);
  CairoGraphics cachedG(cached.get()), plainG(plain.get());
  view->startAnimation();
  for (int k = 1; k <= 20; ++k) {
    clock->set(0.05 * k);
    view->animateOneFrame();
    view->displayIfNeeded(cachedG);
  }
  // Stroke the same trail again with the same alphas, once each way.
  const auto& trail = view->trail();
  std::size_t total = 0;
  for (const auto& g : trail) total += g.size();
  for (CairoGraphics* g : {&cachedG, &plainG}) {
    g->setColor(Color::black(), Color::black());
    g->rectFill(makeRect(0, 0, 640, 360));
    std::size_t k = 0;
    for (const auto& group : trail) {
      for (const auto& path : group) {
        Color c = Color::yellow().withAlpha(double(total - k) / double(total));
        g->setColor(c, c);
        if (g == &cachedG) g->stroke(*path);
        else g->strokeUncached(*path);
        ++k;
      }
    }
  }
  EXPECT_LE(cached.maxDifference(plain), 1);
}

// Strokes that leave the surface on every side: the groups of four the edges
// cut are blended and cleared pixel by pixel, and nothing outside is touched.
// Cairo rasterises a stroke it clips a little differently, so the reference is
// plain stroking on a larger surface, where nothing is clipped.
TEST_F(CairoBackendTest, StrokesCutByTheSurfaceEdgesMatchUnclippedStrokingAndClearCleanly) {
  const int w = 203, h = 101, margin = 64;  // a width that is no multiple of four
  Surface cached(w, h), plain(w + 2 * margin, h + 2 * margin);
  CairoGraphics cachedG(cached.get()), plainG(plain.get());
  std::vector<std::shared_ptr<BezierPath>> paths[2];  // as drawn, and moved into the larger surface
  const Point ends[][2] = {{{-30, -20}, {250, 130}}, {{210, -5}, {-8, 120}}, {{101.5, -40}, {99.3, 160}},
                           {{-50, 50.5}, {260, 49.7}}};
  for (const auto& e : ends) {
    for (int moved = 0; moved < 2; ++moved) {
      const double d = moved ? margin : 0.0;
      auto p = BezierPath::bezierPath();
      p->setLineWidth(5.0);
      p->setLineJoinStyle(LineJoinStyle::Bevel);
      p->moveToPoint(Point{e[0].x + d, e[0].y + d});
      p->lineToPoint(Point{(e[0].x + e[1].x) / 2 + 7 + d, (e[0].y + e[1].y) / 2 - 3 + d});
      p->lineToPoint(Point{e[1].x + d, e[1].y + d});
      paths[moved].push_back(p);
    }
  }
  const Color back{0.1, 0.2, 0.3, 1.0};
  for (int frame = 0; frame < 3; ++frame) {
    cachedG.setColor(back, back);
    cachedG.rectFill(makeRect(0, 0, w, h));
    plainG.setColor(back, back);
    plainG.rectFill(makeRect(0, 0, w + 2 * margin, h + 2 * margin));
    // The second frame strokes only half the paths: the rest must go cleanly.
    for (std::size_t i = 0; i < paths[0].size(); ++i) {
      if (frame == 1 && i % 2) continue;
      const Color c = Color::yellow().withAlpha(0.3 + 0.2 * static_cast<double>(i));
      cachedG.setColor(c, c);
      cachedG.stroke(*paths[0][i]);
      plainG.setColor(c, c);
      plainG.strokeUncached(*paths[1][i]);
    }
    EXPECT_LE(cached.maxDifferenceInside(plain, margin), 1) << "frame " << frame;
  }
}

// A long self-crossing path, as a fast sweep draws, is rasterised in strips on
// two threads: the strips must meet without a seam, also where the figure
// runs off the top and bottom of the surface.
TEST_F(CairoBackendTest, ALongPathRasterisedInStripsMatchesPlainStroking) {
  const int w = 640, h = 360, margin = 64;
  Surface cached(w, h), plain(w + 2 * margin, h + 2 * margin);
  CairoGraphics cachedG(cached.get()), plainG(plain.get());
  BezierPath paths[2];  // as drawn, and moved into the larger surface
  for (int moved = 0; moved < 2; ++moved) {
    const double d = moved ? margin : 0.0;
    paths[moved].setLineWidth(2.0);
    paths[moved].setLineJoinStyle(LineJoinStyle::Bevel);
    for (int i = 0; i < 3000; ++i) {
      const double t = i / 44100.0;
      const Point p{d + 320 + 300 * std::sin(2 * M_PI * 180 * t + 0.3), d + 180 + 200 * std::sin(2 * M_PI * 440 * t)};
      if (i == 0) paths[moved].moveToPoint(p);
      else paths[moved].lineToPoint(p);
    }
  }
  const Color back{0.1, 0.2, 0.3, 1.0}, line = Color::yellow().withAlpha(0.8);
  cachedG.setColor(back, back);
  cachedG.rectFill(makeRect(0, 0, w, h));
  cachedG.setColor(line, line);
  cachedG.stroke(paths[0]);
  plainG.setColor(back, back);
  plainG.rectFill(makeRect(0, 0, w + 2 * margin, h + 2 * margin));
  plainG.setColor(line, line);
  plainG.strokeUncached(paths[1]);
  EXPECT_LE(cached.maxDifferenceInside(plain, margin), 1);
}

// Two views fed the same clock, one drawn with damage tracking and one
// repainting the whole surface every frame: the pixels must agree exactly, and
// every pixel that changed between two frames must lie in the damage.
TEST_F(CairoBackendTest, ClearingOnlyTheLastInkGivesTheSamePixelsAndTheDamageHoldsEveryChange) {
  struct Case {
    const char* name;
    void (*setUp)(OrbeluneView&);
  };
  const Case cases[] = {
      {"default", [](OrbeluneView&) {}},
      {"wide line, phases shown", [](OrbeluneView& v) {
         test::editSettings(v, [](Settings& s) {
           s.lineWidth = 7.0;
           s.isShowInitialPhase = true;
         });
       }},
      {"no status line, fitted", [](OrbeluneView& v) {
         test::editSettings(v, [](Settings& s) {
           s.isShowCurrentValue = false;
           s.isFitToScreenSize = true;
         });
       }},
  };
  for (const auto& c : cases) {
    auto clock = std::make_shared<VirtualClock>();
    auto tracked = newView(makeRect(0, 0, 320, 200), false, clock);
    auto full = newView(makeRect(0, 0, 320, 200), false, clock);
    c.setUp(*tracked);
    c.setUp(*full);
    Surface a(320, 200), b(320, 200), before(320, 200);
    CairoGraphics ga(a.get()), gb(b.get());
    gb.setTracksDamage(false);
    tracked->startAnimation();
    full->startAnimation();
    double t = 0.0;
    for (int k = 1; k <= 60; ++k) {
      t += k % 17 == 0 ? 0.3 : 0.05;  // stalls too
      if (k == 40) {
        for (OrbeluneView* v : {tracked.get(), full.get()}) {
          test::editSettings(*v, [](Settings& s) { s.backColor = Color{0.1, 0.2, 0.3, 1}; });
        }
      }
      clock->set(t);
      std::memcpy(cairo_image_surface_get_data(before.get()), cairo_image_surface_get_data(a.get()),
                  static_cast<std::size_t>(cairo_image_surface_get_stride(a.get())) * 200);
      tracked->tick(ga);
      full->tick(gb);
      ASSERT_EQ(a.maxDifference(b), 0) << c.name << ", frame " << k;
      const auto damage = ga.takeDamage();
      auto damaged = [&](int x, int y) {
        for (const auto& box : damage) {
          if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1) return true;
        }
        return false;
      };
      long long area = 0;
      for (const auto& box : damage) area += box.area();
      for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
          const Pixel p = a.at(x, y), q = before.at(x, y);
          if (p.r != q.r || p.g != q.g || p.b != q.b) {
            ASSERT_TRUE(damaged(x, y)) << c.name << " frame " << k;
          }
        }
      }
      // After the first frame and the colour change, a frame damages only part of the surface.
      if (k > 2 && k != 40) {
        EXPECT_LT(area, 320 * 200 * 2 / 3) << c.name << ", frame " << k;
      }
    }
  }
}

}  // namespace
}  // namespace orbelune
