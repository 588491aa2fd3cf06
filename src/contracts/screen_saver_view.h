#pragma once
#include <memory>

#include "contracts/clock.h"
#include "contracts/geometry.h"

namespace orbelune {

class Graphics;
class Panel;

// The base of a saver view and the contract a host drives it by. A host creates
// the view with a frame and the preview flag, calls startAnimation, then every
// animationTimeInterval() calls animateOneFrame followed by displayIfNeeded (which
// calls drawRect: of the invalidated view), and finally stopAnimation. On the
// user's request it asks hasConfigureSheet, makes the view's sheet and shows its
// panel until the sheet ends it.
class ScreenSaverView {
 public:
  virtual ~ScreenSaverView() = default;
  ScreenSaverView(const ScreenSaverView&) = delete;
  ScreenSaverView& operator=(const ScreenSaverView&) = delete;

  virtual void startAnimation() { animating_ = true; }
  virtual void stopAnimation() { animating_ = false; }
  bool isAnimating() const { return animating_; }
  virtual void animateOneFrame() {}
  void setAnimationTimeInterval(double seconds) { animationTimeInterval_ = seconds; }
  double animationTimeInterval() const { return animationTimeInterval_; }

  virtual bool hasConfigureSheet() { return false; }

  virtual void drawRect(const Rect& dirtyRect, Graphics& graphics) {
    (void)dirtyRect;
    (void)graphics;
  }

  Rect bounds() const { return bounds_; }
  Rect frame() const { return frame_; }
  // The host resizes the view (a window resize); the bounds keep their origin.
  void setFrameSize(Size size);
  void setBoundsOrigin(Point origin) { bounds_.origin = origin; }
  bool isPreview() const { return isPreview_; }

  void setNeedsDisplay(const Rect& rect);
  bool needsDisplay() const { return needsDisplay_; }
  // Calls drawRect: when part of the view was invalidated; false when nothing was.
  bool displayIfNeeded(Graphics& graphics);

  Clock& clock() const { return *clock_; }

 protected:
  ScreenSaverView() = default;
  // Fails (false) for a frame that is not finite or has a negative size.
  bool init(const Rect& frame, bool isPreview, std::shared_ptr<Clock> clock);

 private:
  Rect frame_;
  Rect bounds_;
  bool isPreview_ = false;
  bool animating_ = false;
  double animationTimeInterval_ = 1.0 / 30.0;
  bool needsDisplay_ = false;
  Rect dirtyRect_;
  std::shared_ptr<Clock> clock_;
};

}  // namespace orbelune
