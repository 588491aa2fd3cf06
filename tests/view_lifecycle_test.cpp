#include <gtest/gtest.h>

#include "oscillator/oscillator.h"
#include "recording/recording_graphics.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

class ViewLifecycleTest : public test::IsolatedTest {
 protected:
  std::unique_ptr<OrbeluneView> makeView(bool preview = false) {
    auto view = newView(makeRect(0, 0, 1280, 720), preview, clock);
    EXPECT_NE(view, nullptr);
    return view;
  }
  // Sets the frequencies and derives the sampling values, as an animation start does.
  void derive(OrbeluneView& v, std::int64_t method, double x1, double x2, double y1, double y2) {
    test::editSettings(v, [&](Settings& s) {
      s.sweepMethod = method;
      s.frequencyX1 = x1;
      s.frequencyX2 = x2;
      s.frequencyY1 = y1;
      s.frequencyY2 = y2;
    });
    v.deriveSampling();
  }
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
};

TEST_F(ViewLifecycleTest, CreationLoadsDefaultsAndLeavesTheRunForTheStart) {
  sweep().samplingRate = 44100.0;
  auto v = makeView();
  EXPECT_EQ(sweep().method, 1);
  EXPECT_EQ(sweep().sweepTime, 20.0);
  EXPECT_EQ(v->animationTimeInterval(), 0.05);
  EXPECT_FALSE(v->isAnimating());
  EXPECT_EQ(v->maxPathNum(), 0);
  EXPECT_EQ(v->maxSplitNum(), 0);
  EXPECT_EQ(sweep().samplingRate, 44100.0);  // untouched until the start
  EXPECT_TRUE(v->trail().empty());
}

TEST_F(ViewLifecycleTest, DefaultStartDerives600And10And14) {
  auto v = makeView();
  v->startAnimation();
  EXPECT_TRUE(v->isAnimating());
  EXPECT_EQ(sweep().samplingRate, 600.0);
  EXPECT_EQ(v->maxSplitNum(), 10);
  EXPECT_EQ(v->maxPathNum(), 14);
}

TEST_F(ViewLifecycleTest, SamplingRateAndTrailSizesFollowTheTables) {
  auto v = makeView();
  struct Case {
    std::int64_t method;
    double x1, x2, y1, y2;
    double rate;
    std::int64_t split, paths;
  } cases[] = {
      {0, 3.0, 1.0, 2.0, 1.0, 300.0, 10, 12},
      {0, 3.0, 1000.0, 2.0, 1.0, 300.0, 10, 12},  // second values do not count without sweep
      {1, 50.0, 150.0, 50.0, 50.0, 15000.0, 1, 1},
      {0, 441.0, 1.0, 441.0, 1.0, 44100.0, 2, 1},
      {0, 500.0, 1.0, 1.0, 1.0, 44100.0, 2, 2},
      {0, 0.5, 9.0, 0.5, 9.0, 100.0, 10, 12},
      {0, 1.375, 0.0, 1.0, 0.0, 137.0, 10, 12},  // truncated, not rounded
      {0, 60.0, 0.0, 2.0, 0.0, 6000.0, 6, 6},    // bounds are inclusive
      {0, 60.5, 0.0, 2.0, 0.0, 6050.0, 2, 2},
      {0, 15.0, 0.0, 12.0, 0.0, 1500.0, 8, 8},
      {0, 15.0, 0.0, 1.0, 0.0, 1500.0, 8, 10},
      {0, 30.0, 0.0, 30.0, 0.0, 3000.0, 6, 4},
      {2, 4.0, 5.0, 3.0, 3.0, 500.0, 10, 12},
      {1, 15.0, 1.0, 1.0, 1.0, 1500.0, 8, 8},
      {1, 40.0, 1.0, 1.0, 1.0, 4000.0, 6, 6},
      {1, 99.0, 1.0, 1.0, 1.0, 9900.0, 2, 2},
      {1, 100.0, 10.0, 50.0, 50.0, 10000.0, 1, 2},
  };
  for (const auto& c : cases) {
    derive(*v, c.method, c.x1, c.x2, c.y1, c.y2);
    SCOPED_TRACE(testing::Message() << "method " << c.method << " x1 " << c.x1 << " x2 " << c.x2);
    EXPECT_EQ(sweep().samplingRate, c.rate);
    EXPECT_EQ(v->maxSplitNum(), c.split);
    EXPECT_EQ(v->maxPathNum(), c.paths);
  }
}

TEST_F(ViewLifecycleTest, StartTwiceResetsOnceAndStopStartResetsEverything) {
  auto v = makeView();
  RecordingGraphics g;
  v->startAnimation();
  clock->set(0.05);
  v->animateOneFrame();
  ASSERT_TRUE(v->displayIfNeeded(g));
  ASSERT_EQ(v->lastDrawOutcome(), DrawOutcome::Drawn);
  double lastTime = v->lastTime();
  EXPECT_GT(lastTime, 0.0);
  v->startAnimation();  // already animating: nothing happens
  EXPECT_EQ(v->lastTime(), lastTime);
  EXPECT_EQ(v->trail().size(), 1u);

  v->stopAnimation();
  EXPECT_FALSE(v->isAnimating());
  EXPECT_EQ(v->trail().size(), 1u);  // a stop keeps the trail and clock
  EXPECT_EQ(v->lastTime(), lastTime);
  v->startAnimation();
  EXPECT_EQ(v->time(), 0.0);
  EXPECT_EQ(v->lastTime(), 0.0);
  EXPECT_TRUE(v->trail().empty());
  EXPECT_TRUE(v->isFirstPoint());
  EXPECT_TRUE(v->isContinue());
  EXPECT_EQ(v->xAxis().phaseCount(), 0.0);
  EXPECT_EQ(v->yAxis().phaseCount(), 0.0);
}

TEST_F(ViewLifecycleTest, PreviewAndFullViewsBehaveTheSame) {
  auto full = makeView(false);
  auto preview = makeView(true);
  RecordingGraphics gFull, gPreview;
  full->startAnimation();
  preview->startAnimation();
  for (int i = 1; i <= 5; ++i) {
    clock->set(0.05 * i);
    full->animateOneFrame();
    preview->animateOneFrame();
    full->displayIfNeeded(gFull);
    preview->displayIfNeeded(gPreview);
  }
  EXPECT_EQ(gFull.toJsonLines(), gPreview.toJsonLines());
  EXPECT_TRUE(preview->isPreview());
}

TEST_F(ViewLifecycleTest, AnimateOneFrameOnlyInvalidatesTheBounds) {
  auto v = makeView();
  v->startAnimation();
  EXPECT_FALSE(v->needsDisplay());
  v->animateOneFrame();
  EXPECT_TRUE(v->needsDisplay());
  EXPECT_EQ(v->lastTime(), 0.0);
  EXPECT_TRUE(v->trail().empty());
}

TEST_F(ViewLifecycleTest, AFrameThatIsNotFiniteFailsCreation) {
  EXPECT_EQ(newView(makeRect(0, 0, NAN, 10), false), nullptr);
  EXPECT_EQ(newView(makeRect(0, 0, -1, 10), false), nullptr);
}

}  // namespace
}  // namespace orbelune
