#include "contracts/screen_saver_view.h"

#include <algorithm>
#include <cmath>

namespace orbelune {

bool ScreenSaverView::init(const Rect& frame, bool isPreview, std::shared_ptr<Clock> clock) {
  for (double v : {frame.origin.x, frame.origin.y, frame.size.width, frame.size.height}) {
    if (!std::isfinite(v)) return false;
  }
  if (frame.size.width < 0.0 || frame.size.height < 0.0) return false;
  frame_ = frame;
  bounds_ = Rect{{0.0, 0.0}, frame.size};
  isPreview_ = isPreview;
  clock_ = clock ? std::move(clock) : std::make_shared<MonotonicClock>();
  return true;
}

void ScreenSaverView::setFrameSize(Size size) {
  frame_.size = size;
  bounds_.size = size;
}

void ScreenSaverView::setNeedsDisplay(const Rect& rect) {
  if (!needsDisplay_) {
    dirtyRect_ = rect;
  } else {
    double x0 = std::min(dirtyRect_.origin.x, rect.origin.x);
    double y0 = std::min(dirtyRect_.origin.y, rect.origin.y);
    double x1 = std::max(dirtyRect_.origin.x + dirtyRect_.size.width, rect.origin.x + rect.size.width);
    double y1 = std::max(dirtyRect_.origin.y + dirtyRect_.size.height, rect.origin.y + rect.size.height);
    dirtyRect_ = makeRect(x0, y0, x1 - x0, y1 - y0);
  }
  needsDisplay_ = true;
}

bool ScreenSaverView::displayIfNeeded(Graphics& graphics) {
  if (!needsDisplay_) return false;
  needsDisplay_ = false;
  drawRect(dirtyRect_, graphics);
  return true;
}

}  // namespace orbelune
