#pragma once
#include <string>

#include "contracts/color.h"
#include "contracts/geometry.h"
#include "contracts/graphics.h"

namespace orbelune {

// The frame-rate overlay every XScreenSaver hack offers (--fps): frames a
// second and, for a saver on a real clock, the frame's own time and the
// process's share of one core, updated once a second and drawn in the top-left
// corner in the status line's font.
class FrameRateOverlay {
 public:
  // `withLoad`: also the frame time and the CPU share (off for a virtual clock,
  // whose runs must stay reproducible).
  explicit FrameRateOverlay(bool withLoad) : withLoad_(withLoad) {}

  // One frame drawn at `now` (seconds), which took `frameSeconds` to draw, with
  // the process's CPU time so far.
  void frameDrawn(double now, double frameSeconds = 0.0, double cpuSeconds = 0.0);
  // What the overlay shows; empty until the first second has passed.
  const std::string& text() const { return text_; }
  // Draws the text over the frame, in `scale` times the status line's size.
  void draw(Graphics& graphics, const Rect& bounds, const Color& color, double scale = 1.0) const;

 private:
  bool withLoad_;
  double since_ = -1.0;  // the start of the current second
  int frames_ = 0;
  double frameTime_ = 0.0;
  double cpuAtStart_ = 0.0;
  std::string text_;
};

}  // namespace orbelune
