#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "oscillator/oscillator.h"
#include "recording/recording_graphics.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

using Stroke = RecordingGraphics::Stroke;
using Fill = RecordingGraphics::Fill;
using Text = RecordingGraphics::Text;

class TrailRendererTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    view = newView(makeRect(0, 0, 1280, 720), false, clock);
    ASSERT_NE(view, nullptr);
  }
  // One host tick at virtual time t: animateOneFrame, then drawRect of the view.
  DrawOutcome tickAt(double t) {
    clock->set(t);
    g.clear();
    view->animateOneFrame();
    view->displayIfNeeded(g);
    return view->lastDrawOutcome();
  }
  std::vector<Stroke> strokes() const {
    std::vector<Stroke> out;
    for (const auto& op : g.ops()) {
      if (auto s = std::get_if<Stroke>(&op)) out.push_back(*s);
    }
    return out;
  }
  std::size_t pointsInNewestGroup() const {
    std::size_t n = 0;
    for (const auto& p : view->trail().front()) n += p->elements().size();
    return n;
  }
  // No sweep, x at 1.28 Hz: a sampling rate of 128, whose sample step 1/128 is exact.
  void useRate128() {
    test::editSettings(*view, [](Settings& s) {
      s.sweepMethod = 0;
      s.frequencyX1 = 1.28;
      s.frequencyY1 = 1.0;
    });
  }

  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::unique_ptr<OrbeluneView> view;
  RecordingGraphics g;
};

TEST_F(TrailRendererTest, TheFirstCallStartsTheAnimationAndDrawsNothing) {
  EXPECT_EQ(tickAt(0.0), DrawOutcome::Started);
  EXPECT_TRUE(view->isAnimating());
  EXPECT_TRUE(g.ops().empty());
}

TEST_F(TrailRendererTest, ADefaultFrameTakes30SamplesInTenPathsOfThree) {
  view->startAnimation();
  ASSERT_EQ(tickAt(0.05), DrawOutcome::Drawn);
  const auto& group = view->trail().front();
  ASSERT_EQ(group.size(), 10u);
  // Newest first: the last path made is at index 0. The run's first path opens
  // with its first sample (3 points); every other path starts at the last point.
  EXPECT_EQ(group.back()->elements().size(), 3u);
  EXPECT_TRUE(group.back()->elements()[0].isMove);
  for (std::size_t i = 0; i + 1 < group.size(); ++i) {
    ASSERT_EQ(group[i]->elements().size(), 4u);
    EXPECT_EQ(group[i]->elements()[0].point, group[i + 1]->elements().back().point);
  }
  // The first sample: phase 90 degrees on both axes puts it at (cx + r, cy + r).
  const double r = (720 * 0.8 - 2.0) * 0.5 - 1.0;
  EXPECT_EQ(group.back()->elements()[0].point, (Point{640 + r, 360 + r}));
  EXPECT_EQ(view->lastPoint(), group.front()->elements().back().point);
  for (const auto& p : group) {
    EXPECT_EQ(p->lineWidth(), 2.0);
    EXPECT_EQ(p->lineJoinStyle(), LineJoinStyle::Bevel);
  }
  // Background first, then the newest path at full alpha.
  ASSERT_TRUE(std::holds_alternative<Fill>(g.ops()[0]));
  EXPECT_EQ(std::get<Fill>(g.ops()[0]).rect, makeRect(0, 0, 1280, 720));
  EXPECT_EQ(std::get<Fill>(g.ops()[0]).color, Color::black());
  EXPECT_EQ(strokes().front().color->alpha, 1.0);
}

TEST_F(TrailRendererTest, AFullDefaultTrailHolds14GroupsAnd140PathsWithAFallingAlpha) {
  view->startAnimation();
  // Frames of a little over 0.05 s: 30 samples each (exactly 0.05 s can truncate to 29).
  for (int k = 1; k <= 20; ++k) {
    tickAt(view->lastTime() + 0.0501);
    ASSERT_EQ(view->trail().front().size(), 10u);
  }
  EXPECT_EQ(view->trail().size(), 14u);
  auto s = strokes();
  ASSERT_EQ(s.size(), 140u);
  for (std::size_t k = 0; k < s.size(); ++k) {
    EXPECT_EQ(s[k].color->alpha, (1.0 * static_cast<double>(140 - k)) / 140.0) << k;
  }
  EXPECT_DOUBLE_EQ(s.back().color->alpha, 1.0 / 140.0);
}

TEST_F(TrailRendererTest, AlphaFollowsTheLineColoursOwnAlphaAndNoColourDrawsYellow) {
  test::editSettings(*view, [](Settings& s) {
    s.sweepMethod = 0;
    s.frequencyX1 = 100.0;  // rate 10000, one path of two groups at most
    s.frequencyY1 = 100.0;
    s.lineColor = Color{0.2, 0.4, 0.6, 0.5};
  });
  view->startAnimation();
  ASSERT_EQ(view->maxPathNum(), 1);
  ASSERT_EQ(view->maxSplitNum(), 2);
  tickAt(0.05);
  tickAt(0.1);
  EXPECT_EQ(view->trail().size(), 1u);  // _maxPathNum 1: only this frame's group
  auto s = strokes();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].color, (Color{0.2, 0.4, 0.6, 0.5}));
  EXPECT_EQ(s[1].color, (Color{0.2, 0.4, 0.6, 0.25}));

  test::editSettings(*view, [](Settings& s) {
    s.lineColor = std::nullopt;
    s.backColor = std::nullopt;
  });
  tickAt(0.15);
  auto ops = g.opsJson();
  EXPECT_TRUE(ops[0]["color"].is_null());
  EXPECT_TRUE(ops[1]["color"].is_null());
}

TEST_F(TrailRendererTest, TheClampReplacesIntervalsAboveOneTenthAfterADrawingFrame) {
  useRate128();
  view->startAnimation();
  ASSERT_EQ(tickAt(1.0 / 128.0), DrawOutcome::Drawn);
  const double L = view->lastTime();
  ASSERT_EQ(L, 0.0078125);
  ASSERT_EQ((L + 0.1) - L, 0.1);
  tickAt(L + 0.1);  // exactly 0.1: taken whole
  EXPECT_EQ(pointsInNewestGroup(), 12u + 6u);  // 12 samples, 6 paths of 2, each with the joining point
  EXPECT_EQ(view->lastTime(), L + 12.0 / 128.0);

  const double L2 = view->lastTime();
  tickAt(L2 + 0.1000001);  // above 0.1: counts as 0.05, trunc(6.4) = 6 samples
  EXPECT_EQ(view->lastTime(), L2 + 6.0 / 128.0);
}

TEST_F(TrailRendererTest, IdleFramesDrawNothingAndLetTheNextIntervalRunUnclamped) {
  useRate128();
  view->startAnimation();
  tickAt(0.5);
  const double L = view->lastTime();
  const std::size_t groups = view->trail().size();
  EXPECT_EQ(tickAt(L + 0.001), DrawOutcome::Idle);  // less than one sample step
  EXPECT_TRUE(g.ops().empty());
  EXPECT_TRUE(view->isContinue());
  EXPECT_EQ(view->lastTime(), L);
  EXPECT_EQ(tickAt(L - 3.0), DrawOutcome::Idle);  // the clock went back
  EXPECT_EQ(view->trail().size(), groups);
  tickAt(L + 5.0);  // after an idle frame: 5 s taken whole
  EXPECT_EQ(view->lastTime(), L + 640.0 / 128.0);
}

TEST_F(TrailRendererTest, AnUnclampedIntervalIsCappedAtTenSeconds) {
  useRate128();
  view->startAnimation();
  tickAt(3600.0);  // the first frame after an hour's suspend
  EXPECT_EQ(view->lastTime(), 1280.0 / 128.0);
  tickAt(3600.05);  // then the lag is clamped frame by frame
  EXPECT_EQ(view->lastTime(), 10.0 + 6.0 / 128.0);
}

TEST_F(TrailRendererTest, FramesAreCutIntoRunsByTheSplitNumber) {
  // Rate 128, _maxSplitNum 10.
  useRate128();
  view->startAnimation();
  ASSERT_EQ(view->maxSplitNum(), 10);
  auto runsAt = [&](double t) {
    tickAt(view->lastTime());  // an idle frame first, so that the next one is not clamped
    tickAt(t);
    std::vector<std::size_t> sizes;
    const auto& group = view->trail().front();
    for (auto it = group.rbegin(); it != group.rend(); ++it) sizes.push_back((*it)->elements().size());
    return sizes;
  };
  // The run's first frame: n = 1, one path of just the move.
  EXPECT_EQ(runsAt(1.0 / 128), (std::vector<std::size_t>{1}));
  // n = 1 afterwards: a move to the last point and one line.
  EXPECT_EQ(runsAt(2.0 / 128), (std::vector<std::size_t>{2}));
  // n = 29 (q = 2): thirteen runs of 2 and one of 3, each plus the joining point.
  auto r29 = runsAt(31.0 / 128);
  ASSERT_EQ(r29.size(), 14u);
  EXPECT_EQ(r29.back(), 4u);
  for (std::size_t i = 0; i + 1 < r29.size(); ++i) EXPECT_EQ(r29[i], 3u);
  // n = 10 (q = 1): five runs of 2.
  EXPECT_EQ(runsAt(41.0 / 128), (std::vector<std::size_t>(5, 3)));
  // n = 3: one run of 3.
  EXPECT_EQ(runsAt(44.0 / 128), (std::vector<std::size_t>{4}));
}

TEST_F(TrailRendererTest, TheSweepClockFoldsAndWarps) {
  test::editSettings(*view, [](Settings& s) {
    s.sweepMethod = 1;
    s.sweepTime = 10.0;
    s.frequencyX1 = s.frequencyX2 = s.frequencyY1 = s.frequencyY2 = 1.0;
    s.initialPhaseX = 0.0;
    s.initialPhaseX2 = 100.0;  // the phase shows the sample time
    s.isShowInitialPhase = true;
  });
  view->startAnimation();  // rate 100: one sample per 0.01 s
  // Read the status line: "Time: <folded>s, x: ... <degree>deg" where degree = 10 * sample time.
  auto statusAt = [&](double sweepClock) {
    view->setTimeForTesting(sweepClock);
    tickAt(view->lastTime() + 0.015);
    return std::get<Text>(g.ops().back()).string;
  };
  tickAt(0.0);
  EXPECT_EQ(statusAt(4.0), "Time: 4.00s, x: 1.00Hz 40.00deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(12.0), "Time: 8.00s, x: 1.00Hz 80.00deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(10.0), "Time: 10.00s, x: 1.00Hz 100.00deg, y: 1.00Hz 90.00deg");
  statusAt(19.995);  // reaches 20.005 after its step and drops by 20
  EXPECT_NEAR(view->time(), 0.005, 1e-12);

  test::editSettings(*view, [](Settings& s) { s.sweepMethod = 2; });
  EXPECT_EQ(statusAt(2.5), "Time: 2.50s, x: 1.00Hz 11.07deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(5.0), "Time: 5.00s, x: 1.00Hz 25.96deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(7.5), "Time: 7.50s, x: 1.00Hz 48.81deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(10.0), "Time: 10.00s, x: 1.00Hz 100.00deg, y: 1.00Hz 90.00deg");
  EXPECT_EQ(statusAt(0.0), "Time: 0.00s, x: 1.00Hz 0.00deg, y: 1.00Hz 90.00deg");

  // A sweep time lowered below half the clock: the folded time goes negative and
  // is used as it is; the clock loses 2T once per sample.
  test::editSettings(*view, [](Settings& s) { s.sweepTime = 2.0; });
  EXPECT_EQ(statusAt(9.0), "Time: -5.00s, x: 1.00Hz -250.00deg, y: 1.00Hz 90.00deg");
  EXPECT_NEAR(view->time(), 5.01, 1e-12);

  // Without sweep every sample is at time 0 and the clock keeps its value.
  test::editSettings(*view, [](Settings& s) { s.sweepMethod = 0; });
  view->setTimeForTesting(3.0);
  tickAt(view->lastTime() + 0.015);
  EXPECT_EQ(view->time(), 3.0);
  EXPECT_EQ(std::get<Text>(g.ops().back()).string, "x: 1.00Hz 0.00deg, y: 1.00Hz 90.00deg");
}

TEST_F(TrailRendererTest, FigureSizeLineWidthAndFitDecideTheRadii) {
  view->startAnimation();
  test::editSettings(*view, [](Settings& s) {
    s.isFitToScreenSize = true;
    s.lineWidth = 4.0;
  });
  tickAt(0.05);
  // The first sample lands at (cx + rx, cy + ry): rx from the longer side.
  const auto first = view->trail().front().back()->elements()[0].point;
  EXPECT_EQ(first.x, 640.0 + ((1280 * 0.8 - 4.0) * 0.5 - 1.0));
  EXPECT_EQ(first.y, 360.0 + ((720 * 0.8 - 4.0) * 0.5 - 1.0));
  EXPECT_EQ(view->trail().front().back()->lineWidth(), 4.0);
  test::editSettings(*view, [](Settings& s) { s.lineWidth = 1.0; });
  tickAt(0.1);
  EXPECT_EQ(view->trail().front().back()->lineWidth(), 1.0);
  EXPECT_EQ(view->trail().back().back()->lineWidth(), 4.0);  // paths keep their width
}

// A new figure, as a shuffling session changes to: no sweep, 3 Hz by 2 Hz.
Settings threeByTwo(const Settings& from) {
  Settings s = from;
  s.sweepMethod = 0;
  s.frequencyX1 = 3.0;
  s.frequencyY1 = 2.0;
  s.initialPhaseX = 90.0;
  s.initialPhaseY = 90.0;
  s.lineColor = Color{1.0, 0.0, 0.0, 1.0};
  return s;
}

TEST_F(TrailRendererTest, ChangeFigureKeepsTheOldPathsWhichFadeOutAsNewOnesPushThem) {
  view->startAnimation();
  for (int k = 1; k <= 20; ++k) tickAt(view->lastTime() + 0.0501);
  ASSERT_EQ(view->trail().size(), 14u);
  std::vector<std::shared_ptr<BezierPath>> old;  // held, so that no new path takes an old one's address
  for (const auto& group : view->trail()) old.push_back(group.front());
  const Point oldLast = view->lastPoint();
  const double changedAt = clock->now();

  view->changeFigure(threeByTwo(view->settings()));
  // 3 Hz without sweep: 300 samples a second, paths of a tenth of a frame, 12 groups
  // (the 14 old ones cut to the 12 newest).
  EXPECT_EQ(view->sweep().samplingRate, 300.0);
  EXPECT_EQ(view->maxSplitNum(), 10);
  EXPECT_EQ(view->maxPathNum(), 12);
  EXPECT_EQ(view->xAxis().frequency1(), 3.0);
  EXPECT_EQ(view->xAxis().phaseCount(), 0.0);
  EXPECT_EQ(view->time(), 0.0);
  EXPECT_EQ(view->lastTime(), 0.0);
  ASSERT_EQ(view->trail().size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(view->trail()[i].front(), old[i]) << i;
  // The colours stay the view's own.
  EXPECT_EQ(view->settings().lineColor, ColorField(Color::yellow()));

  // The next frame counts from the change: 15 samples of the new figure, the
  // first of which opens a path of its own at the new figure's first point.
  tickAt(changedAt + 0.0501);
  ASSERT_EQ(view->trail().size(), 12u);
  const auto& fresh = view->trail().front();
  std::size_t points = 0;
  for (const auto& p : fresh) points += p->elements().size();
  EXPECT_EQ(points, 15u + fresh.size() - 1);  // every path but the first starts at the last point
  const auto& first = fresh.back()->elements()[0];
  EXPECT_TRUE(first.isMove);
  const double r = (720 * 0.8 - 2.0) * 0.5 - 1.0;
  EXPECT_EQ(first.point, (Point{640 + r, 360 + r}));
  EXPECT_NE(first.point, oldLast);
  EXPECT_EQ(view->trail()[1].front(), old[0]);  // the old paths are still drawn, fainter
  EXPECT_EQ(strokes().size(), fresh.size() + 11 * 10);

  // Eleven more frames push the last old path off.
  for (int k = 1; k <= 11; ++k) tickAt(view->lastTime() + changedAt + 0.0501);
  for (const auto& group : view->trail()) {
    for (const auto& p : group) {
      EXPECT_EQ(std::find(old.begin(), old.end(), p), old.end());
    }
  }
}

TEST_F(TrailRendererTest, ChangeFigureStartsTheSweepClockAtZero) {
  view->startAnimation();
  for (int k = 1; k <= 40; ++k) tickAt(view->lastTime() + 0.0501);
  ASSERT_GT(view->time(), 1.0);
  Settings next = view->settings();
  next.frequencyX1 = 2.0;
  next.frequencyX2 = 50.0;
  view->changeFigure(next);
  EXPECT_EQ(view->time(), 0.0);
  // Sweeping up to 50 Hz: 5000 samples a second, paths of a sixth of a frame.
  EXPECT_EQ(view->sweep().samplingRate, 5000.0);
  EXPECT_EQ(view->maxSplitNum(), 6);
  EXPECT_EQ(view->maxPathNum(), 6);
  EXPECT_EQ(view->trail().size(), 6u);
  tickAt(clock->now() + 0.0501);
  EXPECT_NEAR(view->time(), 250.0 / 5000.0, 1e-12);
}

TEST_F(TrailRendererTest, ApplySettingsNeitherReDerivesNorRestarts) {
  view->startAnimation();
  for (int k = 1; k <= 20; ++k) tickAt(view->lastTime() + 0.0501);
  const double time = view->time();
  view->applySettings(threeByTwo(view->settings()));
  EXPECT_EQ(view->sweep().samplingRate, 600.0);
  EXPECT_EQ(view->maxPathNum(), 14);
  EXPECT_EQ(view->time(), time);
  EXPECT_EQ(view->trail().size(), 14u);
}

}  // namespace
}  // namespace orbelune
