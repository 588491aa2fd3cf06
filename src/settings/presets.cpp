#include "settings/presets.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <numeric>
#include <string>

#include "settings/setting_table.h"

namespace orbelune {
namespace {

// Phases 90 and 0 on the two axes draw a ratio's figure in its open, symmetric
// form (a circle for 1:1); a small detune on one axis makes it turn slowly.
const Preset kPresets[] = {
    {.name = "Circle", .description = "1:1, a circle", .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Figure eight", .description = "1:2, an eight lying on its side", .frequencyY1 = 2.0, .frequencyY2 = 2.0,
     .phaseX1 = 0.0, .phaseX2 = 0.0, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Pretzel", .description = "3:2, three lobes across, two down", .frequencyX1 = 3.0, .frequencyX2 = 3.0,
     .frequencyY1 = 2.0, .frequencyY2 = 2.0, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Four-lobed knot", .description = "3:4, a knot of four lobes", .frequencyX1 = 3.0, .frequencyX2 = 3.0,
     .frequencyY1 = 4.0, .frequencyY2 = 4.0, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Five-four lace", .description = "5:4, a fine lace", .frequencyX1 = 5.0, .frequencyX2 = 5.0,
     .frequencyY1 = 4.0, .frequencyY2 = 4.0, .phaseY1 = 0.0, .phaseY2 = 0.0, .lineWidth = 1.5},
    {.name = "Turning ellipse", .description = "1:1 detuned, an ellipse that opens and closes",
     .frequencyY1 = 1.004, .frequencyY2 = 1.004, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Slow eight drift", .description = "1:2 detuned, an eight that rolls over", .frequencyY1 = 2.005,
     .frequencyY2 = 2.005, .phaseX1 = 0.0, .phaseX2 = 0.0, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Slow trefoil drift", .description = "3:2 detuned, a pretzel that turns", .frequencyX1 = 3.0,
     .frequencyX2 = 3.0, .frequencyY1 = 2.004, .frequencyY2 = 2.004, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Rolling phase", .description = "2:3 with the X phase sweeping a full turn",
     .sweepMethod = 1, .sweepTime = 30.0, .frequencyX1 = 2.0, .frequencyX2 = 2.0, .frequencyY1 = 3.0,
     .frequencyY2 = 3.0, .phaseX1 = 0.0, .phaseX2 = 360.0, .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Linear climb", .description = "X from 1 to 4 Hz and back against Y at 2 Hz", .sweepMethod = 1,
     .sweepTime = 40.0, .frequencyX1 = 1.0, .frequencyX2 = 4.0, .frequencyY1 = 2.0, .frequencyY2 = 2.0,
     .phaseY1 = 0.0, .phaseY2 = 0.0},
    {.name = "Logarithmic bloom", .description = "both axes sweeping on a logarithmic clock", .sweepMethod = 2,
     .sweepTime = 45.0, .frequencyX1 = 2.0, .frequencyX2 = 7.0, .frequencyY1 = 3.0, .frequencyY2 = 5.0,
     .phaseY1 = 0.0, .phaseY2 = 90.0},
    {.name = "Classic sweep", .description = "the built-in figure: X from 1 to 6 Hz against Y at 6 Hz",
     .sweepMethod = 1, .sweepTime = 20.0, .frequencyX1 = 1.0, .frequencyX2 = 6.0, .frequencyY1 = 6.0,
     .frequencyY2 = 6.0},
    {.name = "Dense weave", .description = "47:53, fast and fine", .frequencyX1 = 47.0, .frequencyX2 = 47.0,
     .frequencyY1 = 53.0, .frequencyY2 = 53.0, .phaseY1 = 0.0, .phaseY2 = 0.0, .figureSize = 0.9,
     .lineWidth = 1.0},
    {.name = "Seven-six harmonograph", .description = "7:6 detuned, a slowly turning weave", .frequencyX1 = 7.0,
     .frequencyX2 = 7.0, .frequencyY1 = 6.006, .frequencyY2 = 6.006, .phaseY1 = 0.0, .phaseY2 = 0.0,
     .lineWidth = 1.5},
};

// A name's letter as names are compared: any case, and '-' the same as a space,
// so that a name can be given on a command line without quotes.
char foldedLetter(char c) { return c == '-' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return foldedLetter(x) == foldedLetter(y);
         });
}

}  // namespace

void Preset::applyTo(Settings& s) const {
  Settings figure;
  figure.sweepMethod = sweepMethod;
  figure.sweepTime = sweepTime;
  figure.frequencyX1 = frequencyX1;
  figure.frequencyX2 = frequencyX2;
  figure.frequencyY1 = frequencyY1;
  figure.frequencyY2 = frequencyY2;
  figure.initialPhaseX = phaseX1;
  figure.initialPhaseX2 = phaseX2;
  figure.initialPhaseY = phaseY1;
  figure.initialPhaseY2 = phaseY2;
  figure.figureSize = figureSize.value_or(figure.figureSize);
  figure.lineWidth = lineWidth.value_or(figure.lineWidth);
  copySettings(figure, s, [this](const SettingDescriptor& d) { return sets(d); });
}

bool Preset::sets(const SettingDescriptor& d) const {
  switch (d.figure) {
    case FigureRole::Shape: return true;
    case FigureRole::Look:
      return (figureSize && d.member<double>() == &Settings::figureSize) ||
             (lineWidth && d.member<double>() == &Settings::lineWidth);
    case FigureRole::Kept: break;
  }
  return false;
}

std::span<const Preset> presetTable() { return kPresets; }

const Preset* findPreset(std::string_view name) {
  for (const auto& p : kPresets) {
    if (sameName(p.name, name)) return &p;
  }
  return nullptr;
}

std::string dashedName(const Preset& preset) {
  std::string out;
  for (const char* c = preset.name; *c; ++c) out += foldedLetter(*c) == ' ' ? '-' : foldedLetter(*c);
  return out;
}

std::string presetNames() {
  std::string names;
  for (const auto& p : kPresets) names += (names.empty() ? "" : ", ") + std::string(p.name);
  return names;
}

std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double randomUnit(std::uint64_t& state) { return static_cast<double>(nextRandom(state) >> 11) * 0x1.0p-53; }

std::uint64_t freshSeed() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) ^
         (static_cast<std::uint64_t>(ticks.count()) << 32);
}

void surpriseFigure(Settings& s, std::uint64_t seed) {
  std::uint64_t state = seed;
  auto whole = [&](int low, int high) { return low + static_cast<int>(randomUnit(state) * (high - low + 1)); };
  // A ratio of small whole numbers, in lowest terms, so that it is the figure
  // it looks like (2:4 would draw 1:2).
  auto ratio = [&](double& x, double& y) {
    int a = whole(1, 7), b = whole(1, 7);
    const int g = std::gcd(a, b);
    x = a / g;
    y = b / g;
  };
  double x1 = 1, y1 = 1;
  ratio(x1, y1);
  // Now and then a slight detune: the figure turns, slowly.
  if (randomUnit(state) < 0.5) y1 += (randomUnit(state) < 0.5 ? -1 : 1) * (0.002 + 0.008 * randomUnit(state));
  s.frequencyX1 = x1;
  s.frequencyY1 = y1;
  s.frequencyX2 = x1;
  s.frequencyY2 = y1;
  // Phases in whole degrees.
  s.initialPhaseX = std::floor(randomUnit(state) * 360.0);
  s.initialPhaseY = std::floor(randomUnit(state) * 360.0);
  s.initialPhaseX2 = s.initialPhaseX;
  s.initialPhaseY2 = s.initialPhaseY;
  s.sweepMethod = 0;
  // Sometimes a sweep, to another small ratio.
  if (randomUnit(state) < 0.3) {
    s.sweepMethod = randomUnit(state) < 0.5 ? 1 : 2;
    s.sweepTime = 15.0 + std::floor(randomUnit(state) * 46.0);
    ratio(s.frequencyX2, s.frequencyY2);
  }
}

}  // namespace orbelune
