#include "view/frame_rate_overlay.h"

#include "base/number_text.h"
#include "view/status_line.h"

namespace orbelune {

void FrameRateOverlay::frameDrawn(double now, double frameSeconds, double cpuSeconds) {
  if (since_ < 0.0) {
    since_ = now;
    cpuAtStart_ = cpuSeconds;
    return;
  }
  ++frames_;
  frameTime_ += frameSeconds;
  const double span = now - since_;
  if (span < 1.0) return;
  text_ = formatFixed(frames_ / span, 1) + " fps";
  if (withLoad_) {
    text_ += ", " + formatFixed(1000.0 * frameTime_ / frames_, 2) + " ms a frame, " +
             formatFixed(100.0 * (cpuSeconds - cpuAtStart_) / span, 1) + "% CPU";
  }
  since_ = now;
  cpuAtStart_ = cpuSeconds;
  frames_ = 0;
  frameTime_ = 0.0;
}

void FrameRateOverlay::draw(Graphics& graphics, const Rect& bounds, const Color& color, double scale) const {
  if (text_.empty()) return;
  const StyledString styled{text_, Font{kStatusFontName, kStatusFontSize * scale}, color};
  const Size box = graphics.measureText(styled);
  const double margin = 4.0 * scale;
  graphics.drawText(styled, Point{bounds.origin.x + margin, bounds.origin.y + bounds.size.height - box.height - margin},
                    color);
}

}  // namespace orbelune
