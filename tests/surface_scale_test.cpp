#include "wayland/surface_scale.h"

#include <gtest/gtest.h>

namespace orbelune {
namespace {

TEST(SurfaceScaleTest, LengthsRoundHalfAwayFromZero) {
  // 2 x 1.25 = 2.5 and 6 x 1.25 = 7.5: up, where truncation or rounding to
  // even would give 2 and 8, 2 and 7.
  EXPECT_EQ(scaledLength(2, 150), 3);
  EXPECT_EQ(scaledLength(6, 150), 8);
  EXPECT_EQ(scaledLength(1, 180), 2);  // 1.5
  EXPECT_EQ(scaledLength(-1, 180), -2);
  EXPECT_EQ(scaledLength(-6, 150), -8);
  // Just under and over a half.
  EXPECT_EQ(scaledLength(1, 179), 1);
  EXPECT_EQ(scaledLength(1, 181), 2);
  EXPECT_EQ(scaledLength(0, 180), 0);
  // Exact products stay exact, and large ones do not overflow.
  EXPECT_EQ(scaledLength(1200, 180), 1800);
  EXPECT_EQ(scaledLength(1000000000, 240), 2000000000);
}

TEST(SurfaceScaleTest, FractionalBuffersAreTheScaledSizeUnderAViewport) {
  const auto at125 = SurfaceScale::fractional(150);
  EXPECT_EQ(at125.bufferSize(1280, 720), (PixelSize{1600, 900}));
  EXPECT_EQ(at125.bufferSize(1366, 767), (PixelSize{1708, 959}));  // 1707.5 and 958.75
  EXPECT_DOUBLE_EQ(at125.pixelsPerPoint(), 1.25);
  EXPECT_EQ(at125.bufferScale(), 1);
  EXPECT_TRUE(at125.viewported());

  const auto at150 = SurfaceScale::fractional(180);
  EXPECT_EQ(at150.bufferSize(1200, 900), (PixelSize{1800, 1350}));
  EXPECT_EQ(at150.bufferSize(801, 601), (PixelSize{1202, 902}));  // 1201.5 and 901.5
  EXPECT_DOUBLE_EQ(at150.pixelsPerPoint(), 1.5);
  EXPECT_EQ(at150.bufferScale(), 1);

  EXPECT_EQ(SurfaceScale::fractional(240).bufferSize(640, 480), (PixelSize{1280, 960}));
  EXPECT_EQ(SurfaceScale::fractional(240).bufferScale(), 1);  // 2, and still the viewport's
  // Below 1 too (a compositor may ask for less).
  EXPECT_EQ(SurfaceScale::fractional(60).bufferSize(641, 480), (PixelSize{321, 240}));
  // A scale the protocol forbids, or one no view draws at, is bounded.
  EXPECT_DOUBLE_EQ(SurfaceScale::fractional(0).pixelsPerPoint(), 1.0);
  EXPECT_DOUBLE_EQ(SurfaceScale::fractional(100000).pixelsPerPoint(), 16.0);
}

TEST(SurfaceScaleTest, WholeScalesSetTheBufferScaleWithoutAViewport) {
  const auto two = SurfaceScale::whole(2);
  EXPECT_EQ(two.bufferSize(1200, 900), (PixelSize{2400, 1800}));
  EXPECT_EQ(two.bufferScale(), 2);
  EXPECT_FALSE(two.viewported());
  EXPECT_DOUBLE_EQ(two.pixelsPerPoint(), 2.0);
  EXPECT_EQ(SurfaceScale::whole(0).bufferScale(), 1);  // a broken output's
  EXPECT_EQ(SurfaceScale::whole(-3).bufferScale(), 1);
}

TEST(SurfaceScaleTest, ChoiceFollowsTheProtocolsAndThePreferredScale) {
  // Without the protocols: the output's whole scale, whatever else is known.
  EXPECT_EQ(SurfaceScale::choose(false, 180, 2).bufferScale(), 2);
  EXPECT_FALSE(SurfaceScale::choose(false, 180, 2).viewported());
  // With them, before the compositor said a scale: the whole one, through the viewport.
  const auto early = SurfaceScale::choose(true, 0, 2);
  EXPECT_TRUE(early.viewported());
  EXPECT_EQ(early.bufferSize(100, 50), (PixelSize{200, 100}));
  EXPECT_EQ(early.bufferScale(), 1);
  // Then the preferred one (KWin says 120 first, then 180 at 1.5).
  EXPECT_EQ(SurfaceScale::choose(true, 120, 2).bufferSize(1200, 900), (PixelSize{1200, 900}));
  EXPECT_EQ(SurfaceScale::choose(true, 180, 2).bufferSize(1200, 900), (PixelSize{1800, 1350}));
}

TEST(SurfaceScaleTest, KeptStateAsksForARequestOnlyOnAChange) {
  KeptState<int> bufferScale(1);  // a surface's buffer scale starts at 1
  EXPECT_FALSE(bufferScale.changeTo(1));
  EXPECT_TRUE(bufferScale.changeTo(2));
  EXPECT_FALSE(bufferScale.changeTo(2));
  EXPECT_TRUE(bufferScale.changeTo(1));

  KeptState<PixelSize> destination;  // nothing told yet: the first value is news
  EXPECT_TRUE(destination.changeTo({1200, 900}));
  EXPECT_FALSE(destination.changeTo({1200, 900}));
  EXPECT_TRUE(destination.changeTo({1200, 901}));
}

}  // namespace
}  // namespace orbelune
