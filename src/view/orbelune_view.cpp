#include "view/orbelune_view.h"

#include <cmath>

#include "store/screen_saver_defaults.h"
#include "settings/setting_table.h"

namespace orbelune {

std::unique_ptr<OrbeluneView> OrbeluneView::create(const Rect& frame, bool isPreview,
                                                   const std::shared_ptr<ScreenSaverDefaults>& store,
                                                   std::shared_ptr<Clock> clock,
                                                   std::shared_ptr<SweepParameters> sweep) {
  std::unique_ptr<OrbeluneView> view(new OrbeluneView());
  view->sweep_ = sweep ? std::move(sweep) : std::make_shared<SweepParameters>();
  if (!view->initFigure(frame, isPreview, store.get(), std::move(clock))) return nullptr;
  return view;
}

OrbeluneView::~OrbeluneView() = default;

bool OrbeluneView::initFigure(const Rect& frame, bool isPreview, ScreenSaverDefaults* store,
                              std::shared_ptr<Clock> clock) {
  if (!ScreenSaverView::init(frame, isPreview, std::move(clock))) return false;

  // The built-in values are the defaults the store registers.
  if (store) loadSettings(*store, settings_);
  const Settings& s = settings_;

  sweep_->method = s.sweepMethod;
  sweep_->sweepTime = s.sweepTime;

  xAxis_ = std::make_unique<Oscillator>(*sweep_, s.frequencyX1, s.frequencyX2, s.initialPhaseX, s.initialPhaseX2);
  yAxis_ = std::make_unique<Oscillator>(*sweep_, s.frequencyY1, s.frequencyY2, s.initialPhaseY, s.initialPhaseY2);

  setAnimationTimeInterval(kAnimationInterval);
  return true;
}

Settings OrbeluneView::settings() const {
  Settings s = settings_;
  s.sweepMethod = sweep_->method;
  s.sweepTime = sweep_->sweepTime;
  return s;
}

void OrbeluneView::applySettings(const Settings& s) {
  settings_ = s;
  sweep_->method = s.sweepMethod;
  sweep_->sweepTime = s.sweepTime;
  xAxis_->setFrequency1(s.frequencyX1);
  xAxis_->setFrequency2(s.frequencyX2);
  yAxis_->setFrequency1(s.frequencyY1);
  yAxis_->setFrequency2(s.frequencyY2);
  xAxis_->setInitialPhase1(s.initialPhaseX);
  xAxis_->setInitialPhase2(s.initialPhaseX2);
  yAxis_->setInitialPhase1(s.initialPhaseY);
  yAxis_->setInitialPhase2(s.initialPhaseY2);
}

void OrbeluneView::changeFigure(const Settings& figure) {
  Settings s = settings();
  copySettings(figure, s, [](const SettingDescriptor& d) { return d.figure != FigureRole::Kept; });
  applySettings(s);
  deriveSampling();
  // The sample clock counts from now, the sweep from its start.
  startDate_ = clock().now();
  time_ = 0.0;
  lastTime_ = 0.0;
  xAxis_->resetPhase();
  yAxis_->resetPhase();
  // The first point of the new figure begins a path of its own: no segment
  // from the old figure's last point.
  isFirstPoint_ = true;
  isContinue_ = true;
  while (static_cast<std::int64_t>(trail_.size()) > maxPathNum_) trail_.pop_back();
}

void OrbeluneView::startAnimation() {
  if (isAnimating()) return;
  deriveSampling();
  startDate_ = clock().now();
  time_ = 0.0;
  lastTime_ = 0.0;
  isFirstPoint_ = true;
  isContinue_ = true;
  xAxis_->resetPhase();
  yAxis_->resetPhase();
  trail_ = Trail();
  ScreenSaverView::startAnimation();
}

void OrbeluneView::stopAnimation() { ScreenSaverView::stopAnimation(); }

void OrbeluneView::animateOneFrame() { setNeedsDisplay(bounds()); }

std::optional<DrawOutcome> OrbeluneView::tick(Graphics& graphics) {
  animateOneFrame();
  if (!displayIfNeeded(graphics)) return std::nullopt;
  return lastOutcome_;
}

void OrbeluneView::deriveSampling() {
  const bool sweep = sweep_->method != 0;
  double fmax = xAxis_->frequency1();
  double fmin = xAxis_->frequency1();
  auto take = [&](double f) {
    if (f > fmax) fmax = f;
    if (f < fmin) fmin = f;
  };
  take(yAxis_->frequency1());
  if (sweep) {
    take(xAxis_->frequency2());
    take(yAxis_->frequency2());
  }

  double n = fmax <= 441.0 ? 100.0 * fmax : 44100.0;
  double rate = std::trunc(n);
  if (!(rate >= 100.0)) rate = 100.0;
  sweep_->samplingRate = rate;

  if (!sweep) {
    if (fmax <= 10.0) {
      maxSplitNum_ = 10;
      maxPathNum_ = fmin <= 2.0 ? 12 : 8;
    } else if (fmax <= 20.0) {
      maxSplitNum_ = 8;
      maxPathNum_ = fmin <= 2.0 ? 10 : 8;
    } else if (fmax <= 60.0) {
      maxSplitNum_ = 6;
      maxPathNum_ = fmin <= 2.0 ? 6 : 4;
    } else {
      maxSplitNum_ = 2;
      maxPathNum_ = fmin <= 10.0 ? 2 : 1;
    }
  } else {
    if (fmax <= 10.0) {
      maxSplitNum_ = 10;
      maxPathNum_ = fmin <= 2.0 ? 14 : 12;
    } else if (fmax <= 20.0) {
      maxSplitNum_ = 8;
      maxPathNum_ = 8;
    } else if (fmax <= 60.0) {
      maxSplitNum_ = 6;
      maxPathNum_ = 6;
    } else if (fmax < 100.0) {
      maxSplitNum_ = 2;
      maxPathNum_ = 2;
    } else {
      maxSplitNum_ = 1;
      maxPathNum_ = fmin <= 10.0 ? 2 : 1;
    }
  }
}

}  // namespace orbelune
