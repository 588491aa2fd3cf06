#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "contracts/graphics.h"
#include "base/number_text.h"

namespace orbelune {

class Oscillator;

struct StatusInputs {
  bool isShowCurrentValue;
  bool isShowFrequency;
  bool isShowInitialPhase;
  std::int64_t sweepMethod;
  double foldedTime;
  double sampleTime;
};

// The status line for these options, or nothing when none is to be drawn.
std::optional<std::string> composeStatusLine(const StatusInputs& in, const Oscillator& xAxis, const Oscillator& yAxis);

struct FittedLine {
  StyledString styled;
  double width;
  int passes;
};

inline constexpr double kStatusFontSize = 16.0;
inline constexpr const char* kStatusFontName = "Arial";
// The fitting loop gives up after this many measurements (a view too narrow for
// any size, or a font whose width does not follow its size).
inline constexpr int kMaxFitPasses = 8;

// Starts at `startSize` (16 points at 1x) and shrinks the font in proportion to
// the overflow until the measured width is at most `viewWidth`.
FittedLine fitStatusLine(Graphics& graphics, const std::string& line, const ColorField& textColor, double viewWidth,
                         double startSize = kStatusFontSize);

}  // namespace orbelune
