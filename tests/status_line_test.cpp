#include <gtest/gtest.h>

#include <cmath>

#include "oscillator/oscillator.h"
#include "recording/recording_graphics.h"
#include "test_support.h"
#include "view/orbelune_view.h"
#include "view/status_line.h"

namespace orbelune {
namespace {

class StatusLineTest : public test::IsolatedTest {};

TEST_F(StatusLineTest, EveryCombinationOfOptionsComposesItsLine) {
  sweep().method = 0;
  Oscillator x(sweep(), 440.0, 440.0, 90.0, 90.0), y(sweep(), 660.0, 660.0, 0.0, 0.0);
  struct Case {
    bool freq, phase;
    std::int64_t method;
    const char* line;
  } cases[] = {
      {true, false, 0, "x: 440.00Hz, y: 660.00Hz"},
      {true, false, 1, "Time: 2.50s, x: 440.00Hz, y: 660.00Hz"},
      {true, true, 0, "x: 440.00Hz 90.00deg, y: 660.00Hz 0.00deg"},
      {true, true, 2, "Time: 2.50s, x: 440.00Hz 90.00deg, y: 660.00Hz 0.00deg"},
      {false, true, 0, "x: 90.00deg, y: 0.00deg"},
      {false, true, 7, "Time: 2.50s, x: 90.00deg, y: 0.00deg"},
  };
  for (const auto& c : cases) {
    auto line = composeStatusLine({true, c.freq, c.phase, c.method, 2.5, 2.5}, x, y);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, c.line);
  }
  EXPECT_EQ(composeStatusLine({true, false, false, 1, 2.5, 2.5}, x, y), std::nullopt);
  EXPECT_EQ(composeStatusLine({false, true, true, 1, 2.5, 2.5}, x, y), std::nullopt);
  Oscillator negative(sweep(), 1.0, 1.0, -12.5, -12.5);
  EXPECT_EQ(composeStatusLine({true, false, true, 0, 0, 0}, negative, y).value(), "x: -12.50deg, y: 0.00deg");
}

TEST_F(StatusLineTest, NumbersAlwaysUseADecimalPointAndPrintfRounding) {
  EXPECT_EQ(format2f(2.5), "2.50");
  EXPECT_EQ(format2f(0.125), "0.12");  // exact binary value rounds half to even like printf
  EXPECT_EQ(format2f(1.005), "1.00");  // 1.005 is 1.00499999... in binary
  EXPECT_EQ(format2f(-0.0), "-0.00");
  EXPECT_EQ(format2f(86400.0), "86400.00");
  char buf[64];
  for (double v : {0.015, 2.675, 123456.785, -7.125, 1e-9}) {
    std::snprintf(buf, sizeof buf, "%.2f", v);
    EXPECT_EQ(format2f(v), buf) << v;
  }
}

TEST_F(StatusLineTest, TheFitStartsAt16AndShrinksUntilTheLineFits) {
  RecordingGraphics g;  // fallback metric: 0.5 * size per character
  const std::string line(40, 'm');  // 320 wide at 16 points
  auto fits = fitStatusLine(g, line, Color::white(), 1000.0);
  EXPECT_EQ(fits.styled.font.size, 16.0);
  EXPECT_EQ(fits.passes, 1);
  auto exact = fitStatusLine(g, line, Color::white(), 320.0);  // equal width fits
  EXPECT_EQ(exact.styled.font.size, 16.0);
  auto shrunk = fitStatusLine(g, line, Color::white(), 200.0);
  EXPECT_LE(shrunk.width, 200.0);
  EXPECT_DOUBLE_EQ(shrunk.styled.font.size, 10.0);
  EXPECT_EQ(shrunk.styled.font.name, "Arial");
}

TEST_F(StatusLineTest, TheFitEndsForWidthsNoSizeCanMeet) {
  RecordingGraphics g;
  for (double width : {0.0, -50.0, double(NAN)}) {
    auto fitted = fitStatusLine(g, "x: 1.00Hz, y: 6.00Hz", std::nullopt, width);
    EXPECT_LE(fitted.passes, kMaxFitPasses) << width;
  }
}

TEST_F(StatusLineTest, TheLineIsCentredWithItsBoxAtYZeroEvenWhenTheBoundsAreNot) {
  auto clock = std::make_shared<VirtualClock>();
  auto view = newView(makeRect(0, 0, 400, 300), false, clock);
  view->setBoundsOrigin(Point{10, 20});
  view->startAnimation();
  RecordingGraphics g;
  clock->set(0.05);
  view->animateOneFrame();
  view->displayIfNeeded(g);
  auto text = std::get<RecordingGraphics::Text>(g.ops().back());
  EXPECT_EQ(text.string, "Time: 0.05s, x: 1.01Hz, y: 6.00Hz");
  EXPECT_EQ(text.point.y, 0.0);
  EXPECT_DOUBLE_EQ(text.point.x + 0.5 * text.width, 10.0 + 200.0);
  EXPECT_EQ(text.size, 16.0);
  EXPECT_EQ(text.color, Color::white());

  test::editSettings(*view, [](Settings& s) {
    s.textColor = std::nullopt;  // no colour object: recorded as none
    s.isShowFrequency = false;
  });
  clock->set(0.1);
  view->animateOneFrame();
  g.clear();
  view->displayIfNeeded(g);
  EXPECT_FALSE(std::holds_alternative<RecordingGraphics::Text>(g.ops().back()));
  test::editSettings(*view, [](Settings& s) { s.isShowInitialPhase = true; });
  clock->set(0.15);
  view->animateOneFrame();
  g.clear();
  view->displayIfNeeded(g);
  EXPECT_EQ(std::get<RecordingGraphics::Text>(g.ops().back()).color, std::nullopt);
}

}  // namespace
}  // namespace orbelune
