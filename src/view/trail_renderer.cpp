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
    _lastOutcome = DrawOutcome::Started;
    return;
  }
  const Rect b = bounds();
  const double w = b.size.width;
  const double h = b.size.height;
  const double rMin = (std::min(w, h) * _figureSize - _lineWidth) * 0.5 - 1.0;
  const double rMax = (std::max(w, h) * _figureSize - _lineWidth) * 0.5 - 1.0;
  const double ry = rMin;
  const double rx = _isFitToScreenSize ? rMax : rMin;
  const double cx = b.origin.x + 0.5 * w;
  const double cy = b.origin.y + 0.5 * h;
  const std::int64_t sweepMethod = _sweep->method;
  const double T = sweepMethod != 0 ? _sweep->sweepTime : 0.0;

  // B. Sample clock.
  const double elapsed = clock().now() - _startDate;
  double dt = elapsed - _lastTime;
  if (!_isContinue && dt > kClampThreshold) dt = kClampedInterval;
  if (_isContinue && dt > kLongestUnclampedInterval) dt = kLongestUnclampedInterval;
  const double fs = _sweep->samplingRate;
  const std::int64_t n = static_cast<std::int64_t>(dt * fs);
  if (n <= 0) {
    _isContinue = true;
    _lastOutcome = DrawOutcome::Idle;
    return;
  }
  _isContinue = false;
  const double sampleStep = 1.0 / fs;
  _lastTime = _lastTime + static_cast<double>(n) * sampleStep;

  // C. Path length.
  const std::int64_t q = n / _maxSplitNum;
  const std::int64_t c = std::max<std::int64_t>(q, 2);

  // D-F. One frame group of segment paths.
  FrameGroup group;
  double sampleTime = 0.0;
  double foldedTime = 0.0;
  for (std::int64_t remaining = n; remaining > 0;) {
    const std::int64_t run = remaining >= 2 * c ? c : remaining;
    remaining -= run;
    auto path = BezierPath::bezierPath();
    path->setLineWidth(_lineWidth);
    path->setLineJoinStyle(LineJoinStyle::Bevel);
    if (!_isFirstPoint) path->moveToPoint(_lastPoint);
    for (std::int64_t i = 0; i < run; ++i) {
      if (sweepMethod != 0) {
        const double u = _time > T ? 2.0 * T - _time : _time;
        foldedTime = u;
        if (sweepMethod == 2 && u > 0.0) {
          sampleTime = T * (1.0 - std::log10(1.0 + 9.0 * (T - u) / T));
        } else {
          sampleTime = u;
        }
      }
      const double vx = _xAxis->valueAtTime(sampleTime);
      const double vy = _yAxis->valueAtTime(sampleTime);
      const Point point{cx + rx * vx, cy + ry * vy};
      _lastPoint = point;
      if (_isFirstPoint) {
        path->moveToPoint(point);
        _isFirstPoint = false;
      } else {
        path->lineToPoint(point);
      }
      if (sweepMethod != 0) {
        _time = _time + sampleStep;
        if (_time >= 2.0 * T) _time -= 2.0 * T;
      }
    }
    group.insert(group.begin(), std::move(path));
  }

  // G. Trail update and drawing.
  _waveMArray.push_front(std::move(group));
  if (static_cast<std::int64_t>(_waveMArray.size()) > _maxPathNum) _waveMArray.pop_back();

  const ColorField lineColor = _lineColor;
  const Color shownLine = lineColor.value_or(Color::yellowColor());
  const double a = shownLine.alphaComponent();
  std::int64_t total = 0;
  for (const auto& g : _waveMArray) total += static_cast<std::int64_t>(g.size());
  const double N = static_cast<double>(total);

  graphics.setColor(_backColor, _backColor.value_or(Color::blackColor()));
  graphics.rectFill(b);
  std::int64_t k = 0;
  for (const auto& g : _waveMArray) {
    for (const auto& path : g) {
      const double alpha = (a * static_cast<double>(total - k)) / N;
      ColorField held;
      if (lineColor) held = lineColor->colorWithAlphaComponent(alpha);
      graphics.setColor(held, shownLine.colorWithAlphaComponent(alpha));
      graphics.stroke(*path);
      ++k;
    }
  }

  drawStatusLine(graphics, b, sweepMethod, foldedTime, sampleTime);
  _lastOutcome = DrawOutcome::Drawn;
}

void OrbeluneView::drawStatusLine(Graphics& graphics, const Rect& b, std::int64_t sweepMethod, double foldedTime,
                                  double sampleTime) {
  StatusInputs in{_isShowCurrentValue, _isShowFrequency, _isShowInitialPhase, sweepMethod, foldedTime, sampleTime};
  auto line = composeStatusLine(in, *_xAxis, *_yAxis);
  if (!line) return;
  FittedLine fitted = fitStatusLine(graphics, *line, _textColor, b.size.width);
  const double x = (b.origin.x + 0.5 * b.size.width) + (-0.5 * fitted.width);
  graphics.drawAtPoint(fitted.styled, Point{x, 0.0}, _textColor.value_or(Color::whiteColor()));
}

}  // namespace orbelune
