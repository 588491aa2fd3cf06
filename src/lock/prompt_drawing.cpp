#include "lock/prompt_drawing.h"

#include <algorithm>
#include <string>

namespace orbelune {

namespace {

constexpr const char* kPromptFont = "Sans";
constexpr double kDotsSize = 28.0;
constexpr double kMessageSize = 18.0;

// Draws the line centred on `centreX` with its baseline box at `y`, over an
// outline of the same text offset by one scaled pixel in four directions.
void drawCentred(Graphics& graphics, const std::string& line, double size, double centreX, double y,
                 const PromptStyle& style, double opacity) {
  if (line.empty()) return;
  const Color text = style.text.withAlpha(style.text.alpha * opacity);
  const Color outline = style.outline.withAlpha(style.outline.alpha * opacity);
  StyledString styled{line, Font{kPromptFont, size * style.scale}, text};
  const Size box = graphics.measureText(styled);
  const Point origin{centreX - box.width / 2.0, y};
  const double d = std::max(1.0, style.scale);
  styled.color = outline;
  for (const Point offset : {Point{-d, 0}, Point{d, 0}, Point{0, -d}, Point{0, d}}) {
    graphics.drawText(styled, Point{origin.x + offset.x, origin.y + offset.y}, outline);
  }
  styled.color = text;
  graphics.drawText(styled, origin, text);
}

}  // namespace

void drawLockPrompt(Graphics& graphics, const LockPrompt& prompt, const Rect& bounds, const PromptStyle& style) {
  const double opacity = prompt.opacity();
  if (opacity <= 0.0) return;
  const double centreX = bounds.origin.x + bounds.size.width / 2.0;
  const double dotsY = bounds.origin.y + bounds.size.height / 4.0;
  std::string dots;
  const std::size_t count = std::min(prompt.dots(), kMostDots);
  for (std::size_t i = 0; i < count; ++i) dots += i == 0 ? "\u25CF" : " \u25CF";
  if (count == 0 && prompt.phase() == LockPrompt::Phase::Typing) dots = "Type your password";
  drawCentred(graphics, dots, count == 0 ? kMessageSize : kDotsSize, centreX, dotsY, style, opacity);
  drawCentred(graphics, prompt.message(), kMessageSize, centreX, dotsY - 2.0 * kMessageSize * style.scale, style,
              opacity);
  drawCentred(graphics, prompt.detail(), kMessageSize, centreX, dotsY - 4.0 * kMessageSize * style.scale, style,
              opacity);
}

}  // namespace orbelune
