#include "view/status_line.h"

#include "oscillator/oscillator.h"

namespace orbelune {

std::optional<std::string> composeStatusLine(const StatusInputs& in, const Oscillator& xAxis, const Oscillator& yAxis) {
  if (!in.isShowCurrentValue) return std::nullopt;
  if (!in.isShowFrequency && !in.isShowInitialPhase) return std::nullopt;
  std::string xPhase, yPhase;
  if (in.isShowInitialPhase) {
    xPhase = " " + format2f(xAxis.degreeAt(in.sampleTime)) + "deg";
    yPhase = " " + format2f(yAxis.degreeAt(in.sampleTime)) + "deg";
  }
  std::string time;
  if (in.sweepMethod != 0) time = "Time: " + format2f(in.foldedTime) + "s, ";
  if (in.isShowFrequency) {
    std::string xf = format2f(xAxis.frequencyAt(in.sampleTime));
    std::string yf = format2f(yAxis.frequencyAt(in.sampleTime));
    return time + "x: " + xf + "Hz" + xPhase + ", y: " + yf + "Hz" + yPhase;
  }
  return time + "x:" + xPhase + ", y:" + yPhase;
}

FittedLine fitStatusLine(Graphics& graphics, const std::string& line, const ColorField& textColor, double viewWidth,
                         double startSize) {
  double size = startSize;
  FittedLine fitted{{line, {kStatusFontName, size}, textColor}, 0.0, 0};
  for (;;) {
    fitted.styled = StyledString{line, Font{kStatusFontName, size}, textColor};
    fitted.width = graphics.measureText(fitted.styled).width;
    ++fitted.passes;
    size = size * (viewWidth / fitted.width);
    if (!(fitted.width > viewWidth) || fitted.passes >= kMaxFitPasses) break;
  }
  return fitted;
}

}  // namespace orbelune
