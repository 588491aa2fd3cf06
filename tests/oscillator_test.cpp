#include <gtest/gtest.h>

#include <cmath>

#include "oscillator/oscillator.h"
#include "test_support.h"

namespace orbelune {
namespace {

class OscillatorTest : public test::IsolatedTest {};

TEST_F(OscillatorTest, FixedModeIgnoresTimeAndRepeatsAcrossOscillators) {
  sweep().method = 0;
  sweep().samplingRate = 600.0;
  Oscillator a(sweep(), 3.0, 7.0, 30.0, 60.0), b(sweep(), 3.0, 7.0, 30.0, 60.0);
  a.resetPhase();
  b.resetPhase();
  for (int i = 0; i < 500; ++i) {
    double va = a.valueAt(i * 0.37);
    double vb = b.valueAt(-1000.0);
    ASSERT_EQ(va, vb) << "call " << i;
  }
}

TEST_F(OscillatorTest, FixedModeAccumulatesAndWrapsOnceStrictlyAbove2Pi) {
  sweep().method = 0;
  sweep().samplingRate = 100.0;
  Oscillator f(sweep(), 1.0, 1.0, 0.0, 0.0);
  f.resetPhase();
  EXPECT_DOUBLE_EQ(f.phaseStep(), Oscillator::kTwoPi / 100.0);
  double expectedCount = 0.0;
  for (int n = 0; n < 250; ++n) {
    double v = f.valueAt(0.0);
    EXPECT_NEAR(v, std::sin(Oscillator::kTwoPi * n / 100.0), 1e-9) << n;
    expectedCount += f.phaseStep();
    if (expectedCount > Oscillator::kTwoPi) expectedCount += -Oscillator::kTwoPi;
    ASSERT_EQ(f.phaseCount(), expectedCount);
    ASSERT_LE(f.phaseCount(), Oscillator::kTwoPi);
  }
  // The accumulator holds the excess over 2*pi, not a restart at 0.
  EXPECT_GT(f.phaseCount(), 0.0);
}

TEST_F(OscillatorTest, PhaseExactlyTwoPiIsNotReduced) {
  sweep().method = 0;
  // A step of exactly pi reaches 2*pi after two additions.
  sweep().samplingRate = 2.0;
  Oscillator f(sweep(), 1.0, 1.0, 0.0, 0.0);
  f.resetPhase();
  f.valueAt(0);
  f.valueAt(0);
  EXPECT_EQ(f.phaseCount(), Oscillator::kTwoPi);
  f.valueAt(0);
  EXPECT_NEAR(f.phaseCount(), Oscillator::kTwoPi / 2.0, 1e-15);
}

TEST_F(OscillatorTest, DefaultPhaseStartsAtOneAndNothingBeforeReset) {
  sweep().method = 0;
  Oscillator fresh(sweep(), 6.0, 6.0, 90.0, 90.0);
  EXPECT_EQ(fresh.valueAt(0.0), 0.0);  // before resetPhase: sin(0) every call
  EXPECT_EQ(fresh.valueAt(5.0), 0.0);
  sweep().samplingRate = 600.0;
  fresh.resetPhase();
  EXPECT_DOUBLE_EQ(fresh.valueAt(0.0), 1.0);
}

TEST_F(OscillatorTest, SweepModeIsAClosedFormOfTime) {
  sweep().method = 1;
  sweep().sweepTime = 20.0;
  Oscillator same(sweep(), 2.0, 2.0, 45.0, 45.0);
  for (double t : {0.0, 0.013, 7.5, 19.99}) {
    double expected = std::sin(45.0 * Oscillator::kDegreeToRadian + 2.0 * Oscillator::kTwoPi * t);
    EXPECT_EQ(same.valueAt(t), expected);
    EXPECT_EQ(same.valueAt(t), expected);  // no state between calls
  }
  Oscillator sweeping(sweep(), 1.0, 6.0, 0.0, 0.0);
  EXPECT_EQ(sweeping.frequencyAt(0.0), 1.0);
  EXPECT_EQ(sweeping.frequencyAt(10.0), 3.5);
  EXPECT_EQ(sweeping.frequencyAt(20.0), 6.0);
  // Inside valueAt the term carries the factor 0.5: 1 + 5*0.5*20/20 = 3.5.
  EXPECT_EQ(sweeping.valueAt(20.0), std::sin(0.0 + 3.5 * Oscillator::kTwoPi * 20.0));
}

TEST_F(OscillatorTest, SweepModeMovesThePhaseLinearlyWithoutReducingIt) {
  sweep().method = 2;
  sweep().sweepTime = 10.0;
  Oscillator f(sweep(), 5.0, 5.0, 0.0, 720.0);
  EXPECT_EQ(f.degreeAt(5.0), 360.0);
  EXPECT_EQ(f.degreeAt(20.0), 1440.0);  // not clamped beyond the sweep time
  EXPECT_EQ(f.valueAt(5.0), std::sin(360.0 * Oscillator::kDegreeToRadian + 5.0 * Oscillator::kTwoPi * 5.0));
}

TEST_F(OscillatorTest, WithoutSweepTheSecondValuesAreIgnored) {
  sweep().method = 0;
  Oscillator f(sweep(), 3.0, 900.0, 12.0, -40.0);
  for (double t : {0.0, 3.0, 1e6}) {
    EXPECT_EQ(f.frequencyAt(t), 3.0);
    EXPECT_EQ(f.degreeAt(t), 12.0);
  }
}

}  // namespace
}  // namespace orbelune
