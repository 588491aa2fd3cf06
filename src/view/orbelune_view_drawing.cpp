// drawRect: the sample clock, the trail of segment paths and its fading stroke.
#include <algorithm>
#include <cmath>

#include "view/orbelune_view.h"
#include "view/status_line.h"

namespace orbelune {
namespace {
// A clamped frame (one that follows a drawing frame) takes this much time at most
// before it is replaced by one animation interval.
constexpr double kClampThreshold = 0.1;
constexpr double kClampedInterval = 0.05;
// An unclamped frame (the first of a run, or after an idle frame) takes at most
// this much, so a resume after a suspend cannot build an unbounded frame.
constexpr double kLongestUnclampedInterval = 10.0;
}  // namespace

void OrbeluneView::drawRect(const Rect& dirtyRect, Graphics& graphics) {
  (void)dirtyRect;
  // A. Frame start.
  if (!isAnimating()) {
    startAnimation();
    lastOutcome_ = DrawOutcome::Started;
    return;
  }
  const Rect b = bounds();
  const double w = b.size.width;
  const double h = b.size.height;
  // Lines and text are in points; on a screen of more pixels a point, more pixels.
  const double lineWidth = settings_.lineWidth * displayScale_;
  const double rMin = (std::min(w, h) * settings_.figureSize - lineWidth) * 0.5 - 1.0;
  const double rMax = (std::max(w, h) * settings_.figureSize - lineWidth) * 0.5 - 1.0;
  const double ry = rMin;
  const double rx = settings_.isFitToScreenSize ? rMax : rMin;
  const double cx = b.origin.x + 0.5 * w;
  const double cy = b.origin.y + 0.5 * h;
  const std::int64_t sweepMethod = sweep_->method;
  const double T = sweepMethod != 0 ? sweep_->sweepTime : 0.0;

  // B. Sample clock.
  const double elapsed = clock().now() - startDate_;
  double dt = elapsed - lastTime_;
  if (!isContinue_ && dt > kClampThreshold) dt = kClampedInterval;
  if (isContinue_ && dt > kLongestUnclampedInterval) dt = kLongestUnclampedInterval;
  const double fs = sweep_->samplingRate;
  const std::int64_t n = static_cast<std::int64_t>(dt * fs);
  if (n <= 0) {
    isContinue_ = true;
    lastOutcome_ = DrawOutcome::Idle;
    return;
  }
  isContinue_ = false;
  const double sampleStep = 1.0 / fs;
  lastTime_ = lastTime_ + static_cast<double>(n) * sampleStep;

  // C. Path length.
  const std::int64_t q = n / maxSplitNum_;
  const std::int64_t c = std::max<std::int64_t>(q, 2);

  // D-F. One frame group of segment paths.
  FrameGroup group;
  double sampleTime = 0.0;
  double foldedTime = 0.0;
  for (std::int64_t remaining = n; remaining > 0;) {
    const std::int64_t run = remaining >= 2 * c ? c : remaining;
    remaining -= run;
    auto path = BezierPath::bezierPath();
    path->setLineWidth(lineWidth);
    path->setLineJoinStyle(LineJoinStyle::Bevel);
    if (!isFirstPoint_) path->moveToPoint(lastPoint_);
    for (std::int64_t i = 0; i < run; ++i) {
      if (sweepMethod != 0) {
        const double u = time_ > T ? 2.0 * T - time_ : time_;
        foldedTime = u;
        if (sweepMethod == 2 && u > 0.0) {
          sampleTime = T * (1.0 - std::log10(1.0 + 9.0 * (T - u) / T));
        } else {
          sampleTime = u;
        }
      }
      const double vx = xAxis_->valueAt(sampleTime);
      const double vy = yAxis_->valueAt(sampleTime);
      const Point point{cx + rx * vx, cy + ry * vy};
      lastPoint_ = point;
      if (isFirstPoint_) {
        path->moveToPoint(point);
        isFirstPoint_ = false;
      } else {
        path->lineToPoint(point);
      }
      if (sweepMethod != 0) {
        time_ = time_ + sampleStep;
        if (time_ >= 2.0 * T) time_ -= 2.0 * T;
      }
    }
    group.insert(group.begin(), std::move(path));
  }

  // G. Trail update and drawing.
  trail_.push_front(std::move(group));
  if (static_cast<std::int64_t>(trail_.size()) > maxPathNum_) trail_.pop_back();

  const ColorField& lineColor = settings_.lineColor;
  const ColorField& backColor = settings_.backColor;
  const Color shownLine = lineColor.value_or(Color::yellow());
  const double a = shownLine.alphaComponent();
  std::int64_t total = 0;
  for (const auto& g : trail_) total += static_cast<std::int64_t>(g.size());
  const double N = static_cast<double>(total);

  graphics.setColor(backColor, backColor.value_or(Color::black()));
  graphics.rectFill(b);
  std::int64_t k = 0;
  for (const auto& g : trail_) {
    for (const auto& path : g) {
      const double alpha = (a * static_cast<double>(total - k)) / N;
      ColorField held;
      if (lineColor) held = lineColor->withAlpha(alpha);
      graphics.setColor(held, shownLine.withAlpha(alpha));
      graphics.stroke(*path);
      ++k;
    }
  }

  drawStatusLine(graphics, b, sweepMethod, foldedTime, sampleTime);
  lastOutcome_ = DrawOutcome::Drawn;
}

void OrbeluneView::drawStatusLine(Graphics& graphics, const Rect& b, std::int64_t sweepMethod, double foldedTime,
                                  double sampleTime) {
  StatusInputs in{settings_.isShowCurrentValue, settings_.isShowFrequency, settings_.isShowInitialPhase, sweepMethod,
                  foldedTime, sampleTime};
  auto line = composeStatusLine(in, *xAxis_, *yAxis_);
  if (!line) return;
  FittedLine fitted = fitStatusLine(graphics, *line, settings_.textColor, b.size.width, kStatusFontSize * displayScale_);
  const double x = (b.origin.x + 0.5 * b.size.width) + (-0.5 * fitted.width);
  graphics.drawText(fitted.styled, Point{x, 0.0}, settings_.textColor.value_or(Color::white()));
}

}  // namespace orbelune
