// Edits made in the sheet while the figure is drawn act at once, and nothing
// the animation start fixed (sampling, trail sizes, phase steps) or built up
// (trail, clocks) is redone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "settings/presets.h"
#include "sheet/sheet_outlets.h"
#include "sheet_fixture.h"
#include "recording/recording_graphics.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

class SheetEditTest : public test::SheetFixture {
 protected:
  SheetEditTest() { clock = virtualClock; }
  void frame() {
    t += 0.05;
    virtualClock->set(t);
    view->tick(g);
  }
  // The newest path of every frame group, newest group first: the same objects
  // while the trail is kept.
  std::vector<const BezierPath*> trailPaths() const {
    std::vector<const BezierPath*> out;
    for (const auto& group : view->trail()) out.push_back(group.front().get());
    return out;
  }

  std::shared_ptr<VirtualClock> virtualClock = std::make_shared<VirtualClock>();
  double t = 0.0;
  RecordingGraphics g;
};

TEST_F(SheetEditTest, EveryKindOfEditAndOkLeaveTheRunningAnimationAsItWas) {
  view->startAnimation();
  for (int k = 0; k < 20; ++k) frame();
  ASSERT_EQ(view->trail().size(), static_cast<std::size_t>(view->maxPathNum()));

  const double rate = view->sweep().samplingRate;
  const std::int64_t paths = view->maxPathNum(), splits = view->maxSplitNum();
  const double xStep = view->xAxis().phaseStep(), yStep = view->yAxis().phaseStep();
  const double xPhase = view->xAxis().radianInitPhase(), yPhase = view->yAxis().radianInitPhase();
  const double xCount = view->xAxis().phaseCount(), yCount = view->yAxis().phaseCount();
  const double time = view->time(), lastTime = view->lastTime();
  const Point lastPoint = view->lastPoint();
  const auto trail = trailPaths();

  ASSERT_NE(open(), nullptr);
  loader.control<MemoryPopUpButton>("_menuSweepMethod").userSelects(2);
  auto& x1 = loader.field("_textFrequencyX1");
  x1.userClears();
  x1.userTypes("50");  // a rate of 5000 and shorter trails, were they derived again
  x1.userEndsEditing();
  loader.control<MemorySlider>("_sliderFigureSize").userDrags(0.5);
  loader.box("_cboxShowInitialPhase").userClicks();
  loader.well("_cwellLineColor").setColor(Color{0, 1, 0, 1});
  loader.box(sheet_outlets::kOkButton).userClicks();

  // Every edit took.
  EXPECT_EQ(view->sweep().method, 2);
  EXPECT_EQ(view->xAxis().frequency1(), 50.0);
  EXPECT_EQ(view->settings().frequencyX1, 50.0);
  EXPECT_EQ(view->settings().figureSize, 0.5);
  EXPECT_TRUE(view->settings().isShowInitialPhase);
  EXPECT_EQ(view->settings().lineColor, (Color{0, 1, 0, 1}));

  // What the start fixed and what the frames built is as it was.
  EXPECT_TRUE(view->isAnimating());
  EXPECT_EQ(view->sweep().samplingRate, rate);
  EXPECT_EQ(view->maxPathNum(), paths);
  EXPECT_EQ(view->maxSplitNum(), splits);
  EXPECT_EQ(view->xAxis().phaseStep(), xStep);
  EXPECT_EQ(view->yAxis().phaseStep(), yStep);
  EXPECT_EQ(view->xAxis().radianInitPhase(), xPhase);
  EXPECT_EQ(view->yAxis().radianInitPhase(), yPhase);
  EXPECT_EQ(view->xAxis().phaseCount(), xCount);
  EXPECT_EQ(view->yAxis().phaseCount(), yCount);
  EXPECT_EQ(view->time(), time);
  EXPECT_EQ(view->lastTime(), lastTime);
  EXPECT_EQ(trailPaths(), trail);

  // The next frame goes on from there: one group more at the front, the old
  // ones behind it, both clocks one frame of samples on, the line unbroken.
  frame();
  const auto after = trailPaths();
  ASSERT_EQ(after.size(), trail.size());
  EXPECT_TRUE(std::equal(trail.begin(), trail.end() - 1, after.begin() + 1));
  const double advanced = view->lastTime() - lastTime;
  EXPECT_NEAR(advanced, 0.05, 1.0 / rate);
  EXPECT_NEAR(view->time(), time + advanced, 1e-9);
  const auto& first = view->trail().front().back()->elements().front();
  EXPECT_EQ(first.point.x, lastPoint.x);
  EXPECT_EQ(first.point.y, lastPoint.y);
}

// A whole figure from the gallery or "Surprise me" is the one exception: the
// figure it names starts at once (its own sampling, clocks at 0), so that the
// gallery can be browsed on the preview, while the paths drawn stay to fade.
TEST_F(SheetEditTest, AGalleryFigureStartsAtOnceAndTheOldTrailStaysToFade) {
  view->startAnimation();
  for (int k = 0; k < 20; ++k) frame();
  const auto trail = trailPaths();
  ASSERT_NE(open(), nullptr);
  auto& menu = loader.control<MemoryPopUpButton>(sheet_outlets::kPresetMenu);
  const Preset* dense = findPreset("Dense weave");
  ASSERT_NE(dense, nullptr);
  menu.userSelects(static_cast<std::int64_t>(dense - presetTable().data()) + 1);
  EXPECT_EQ(view->xAxis().frequency1(), dense->frequencyX1);
  EXPECT_EQ(view->time(), 0.0);
  EXPECT_EQ(view->xAxis().phaseCount(), 0.0);
  EXPECT_DOUBLE_EQ(view->xAxis().phaseStep(), 2.0 * M_PI * dense->frequencyX1 / view->sweep().samplingRate);
  // The old paths are still there, the newest first, cut to the new trail's size.
  const auto kept = trailPaths();
  ASSERT_FALSE(kept.empty());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), trail.begin()));
  frame();
  EXPECT_EQ(trailPaths()[1], trail.front());  // the new figure's first group in front of them
}

}  // namespace
}  // namespace orbelune
