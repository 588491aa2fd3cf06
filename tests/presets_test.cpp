#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <numeric>
#include <set>
#include <string>

#include "settings/presets.h"
#include "settings/setting_table.h"
#include "settings/settings_keys.h"

namespace orbelune {
namespace {

// The value lies within the bounds the settings table gives its key.
void expectInBounds(const char* key, double v, const std::string& what) {
  const SettingDescriptor* d = findSetting(key);
  ASSERT_NE(d, nullptr) << key;
  EXPECT_TRUE(std::isfinite(v)) << what << " " << key;
  if (d->bounded()) {
    EXPECT_GE(v, d->low) << what << " " << key;
    EXPECT_LE(v, d->high) << what << " " << key;
  }
}

void expectFigureInBounds(const Settings& s, const std::string& what) {
  expectInBounds(keys::kSweepMethod, static_cast<double>(s.sweepMethod), what);
  expectInBounds(keys::kSweepRate, s.sweepTime, what);
  expectInBounds(keys::kFrequencyX1, s.frequencyX1, what);
  expectInBounds(keys::kFrequencyX2, s.frequencyX2, what);
  expectInBounds(keys::kFrequencyY1, s.frequencyY1, what);
  expectInBounds(keys::kFrequencyY2, s.frequencyY2, what);
  expectInBounds(keys::kInitialPhaseX, s.initialPhaseX, what);
  expectInBounds(keys::kInitialPhaseX2, s.initialPhaseX2, what);
  expectInBounds(keys::kInitialPhaseY, s.initialPhaseY, what);
  expectInBounds(keys::kInitialPhaseY2, s.initialPhaseY2, what);
  expectInBounds(keys::kFigureSize, s.figureSize, what);
  expectInBounds(keys::kLineWidth, s.lineWidth, what);
}

std::string folded(std::string name) {
  for (char& c : name) c = c == '-' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

TEST(PresetsTest, EveryPresetIsWithinTheSettingsBoundsAndFindableByItsNames) {
  ASSERT_GE(presetTable().size(), 12u);
  std::set<std::string> names;
  for (const auto& p : presetTable()) {
    SCOPED_TRACE(p.name);
    Settings s;
    p.applyTo(s);
    expectFigureInBounds(s, p.name);
    EXPECT_NE(std::string(p.description), "");
    // Unique however it is written, so that every name finds its own preset.
    EXPECT_TRUE(names.insert(folded(p.name)).second) << "two presets named " << p.name;
    EXPECT_EQ(findPreset(p.name), &p);
    EXPECT_EQ(findPreset(dashedName(p)), &p) << dashedName(p);
    std::string upper = p.name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(findPreset(upper), &p);
    EXPECT_EQ(dashedName(p).find(' '), std::string::npos);
    EXPECT_NE(presetNames().find(p.name), std::string::npos);
  }
  EXPECT_EQ(findPreset("figure-eight"), findPreset("Figure eight"));
  EXPECT_EQ(findPreset("no such figure"), nullptr);
  EXPECT_EQ(findPreset("Figure eigh"), nullptr);
  EXPECT_EQ(findPreset(""), nullptr);
}

TEST(PresetsTest, APresetLeavesColoursAndTheStatusLineAlone) {
  Settings s;
  s.lineWidth = 7.0;
  s.isShowCurrentValue = false;
  const auto line = s.lineColor;
  findPreset("Circle")->applyTo(s);
  EXPECT_EQ(s.lineWidth, 7.0);  // Circle gives no line width
  EXPECT_FALSE(s.isShowCurrentValue);
  EXPECT_EQ(s.lineColor, line);
}

// The ratio of two frequencies as whole numbers a:b, when they are whole.
bool wholeRatio(double x, double y) {
  return x == std::floor(x) && y == std::floor(y) && x >= 1 && x <= 7 && y >= 1 && y <= 7;
}

TEST(PresetsTest, SurpriseFiguresAreWithinBoundsSmallRatiosAndTheSameForTheSameSeed) {
  int detuned = 0, swept = 0;
  std::set<std::pair<double, double>> ratios;
  for (std::uint64_t seed = 0; seed < 1000; ++seed) {
    Settings s;
    surpriseFigure(s, seed);
    const std::string what = "seed " + std::to_string(seed);
    expectFigureInBounds(s, what);
    // X is a whole number 1..7; Y is one too, or detuned from one by under 0.01.
    EXPECT_TRUE(wholeRatio(s.frequencyX1, std::round(s.frequencyY1))) << what;
    EXPECT_LT(std::abs(s.frequencyY1 - std::round(s.frequencyY1)), 0.0101) << what;
    if (s.frequencyY1 != std::round(s.frequencyY1)) ++detuned;
    ratios.insert({s.frequencyX1, std::round(s.frequencyY1)});
    if (s.sweepMethod != 0) {
      ++swept;
      EXPECT_TRUE(wholeRatio(s.frequencyX2, s.frequencyY2)) << what;
    } else {
      EXPECT_EQ(s.frequencyX2, s.frequencyX1) << what;
      EXPECT_EQ(s.frequencyY2, s.frequencyY1) << what;
    }
    // In lowest terms: 2:4 would draw the figure of 1:2.
    EXPECT_EQ(std::gcd(static_cast<int>(s.frequencyX1), static_cast<int>(std::round(s.frequencyY1))), 1) << what;
    Settings again;
    surpriseFigure(again, seed);
    EXPECT_EQ(again.frequencyX1, s.frequencyX1);
    EXPECT_EQ(again.frequencyY1, s.frequencyY1);
    EXPECT_EQ(again.initialPhaseX, s.initialPhaseX);
    EXPECT_EQ(again.initialPhaseY, s.initialPhaseY);
    EXPECT_EQ(again.sweepMethod, s.sweepMethod);
  }
  // The draws are spread: both kinds happen, and many ratios.
  EXPECT_GT(detuned, 200);
  EXPECT_LT(detuned, 800);
  EXPECT_GT(swept, 150);
  EXPECT_LT(swept, 450);
  EXPECT_GE(ratios.size(), 25u);
}

TEST(PresetsTest, TheGeneratorDrawsTheSameNumbersEverywhere) {
  // splitmix64's first outputs for seed 0, as its reference implementation gives them.
  std::uint64_t state = 0;
  EXPECT_EQ(nextRandom(state), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(nextRandom(state), 0x6e789e6aa1b965f4ULL);
  for (int i = 0; i < 1000; ++i) {
    const double u = randomUnit(state);
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
  }
}

}  // namespace
}  // namespace orbelune
