#include "view/orbelune_view.h"

#include <cmath>

#include "bundle_info.h"
#include "platform/color_panel.h"
#include "platform/screen_saver_defaults.h"
#include "settings/settings.h"

namespace orbelune {

std::unique_ptr<OrbeluneView> OrbeluneView::initWithFrame(const Rect& frame, bool isPreview,
                                                          std::shared_ptr<Clock> clock,
                                                          std::shared_ptr<SweepParameters> sweep) {
  std::unique_ptr<OrbeluneView> view(new OrbeluneView());
  view->_sweep = sweep ? std::move(sweep) : std::make_shared<SweepParameters>();
  if (!view->initOrbeluneView(frame, isPreview, std::move(clock))) return nullptr;
  return view;
}

OrbeluneView::~OrbeluneView() = default;

bool OrbeluneView::initOrbeluneView(const Rect& frame, bool isPreview, std::shared_ptr<Clock> clock) {
  if (!ScreenSaverView::initWithFrame(frame, isPreview, std::move(clock))) return false;

  // The built-in values are the defaults the store registers.
  Settings s;
  if (auto store = ScreenSaverDefaults::defaultsForModuleWithName(kBundleIdentifier)) loadSettings(*store, s);
  takeAppearanceFrom(s);

  _sweep->method = s.sweepMethod;
  _sweep->sweepTime = s.sweepTime;

  _xAxis = std::make_unique<Frequency>(*_sweep, s.frequencyX1, s.frequencyX2, s.initialPhaseX, s.initialPhaseX2);
  _yAxis = std::make_unique<Frequency>(*_sweep, s.frequencyY1, s.frequencyY2, s.initialPhaseY, s.initialPhaseY2);

  setAnimationTimeInterval(0.05);
  ColorPanel::sharedColorPanel().setShowsAlpha(true);
  return true;
}

void OrbeluneView::copyAppearanceTo(Settings& s) const {
  s.figureSize = _figureSize;
  s.lineWidth = _lineWidth;
  s.isFitToScreenSize = _isFitToScreenSize;
  s.isShowCurrentValue = _isShowCurrentValue;
  s.isShowFrequency = _isShowFrequency;
  s.isShowInitialPhase = _isShowInitialPhase;
  s.lineColor = _lineColor;
  s.textColor = _textColor;
  s.backColor = _backColor;
}

void OrbeluneView::takeAppearanceFrom(const Settings& s) {
  _figureSize = s.figureSize;
  _lineWidth = s.lineWidth;
  _isFitToScreenSize = s.isFitToScreenSize;
  _isShowCurrentValue = s.isShowCurrentValue;
  _isShowFrequency = s.isShowFrequency;
  _isShowInitialPhase = s.isShowInitialPhase;
  _lineColor = s.lineColor;
  _textColor = s.textColor;
  _backColor = s.backColor;
}

Settings OrbeluneView::settings() const {
  Settings s;
  copyAppearanceTo(s);
  s.sweepMethod = _sweep->method;
  s.sweepTime = _sweep->sweepTime;
  s.frequencyX1 = _xAxis->frequency1();
  s.frequencyX2 = _xAxis->frequency2();
  s.frequencyY1 = _yAxis->frequency1();
  s.frequencyY2 = _yAxis->frequency2();
  s.initialPhaseX = _xAxis->initialPhase1();
  s.initialPhaseX2 = _xAxis->initialPhase2();
  s.initialPhaseY = _yAxis->initialPhase1();
  s.initialPhaseY2 = _yAxis->initialPhase2();
  return s;
}

void OrbeluneView::applySettings(const Settings& s) {
  takeAppearanceFrom(s);
  _sweep->method = s.sweepMethod;
  _sweep->sweepTime = s.sweepTime;
  _xAxis->setFrequency1(s.frequencyX1);
  _xAxis->setFrequency2(s.frequencyX2);
  _yAxis->setFrequency1(s.frequencyY1);
  _yAxis->setFrequency2(s.frequencyY2);
  _xAxis->setInitialPhase1(s.initialPhaseX);
  _xAxis->setInitialPhase2(s.initialPhaseX2);
  _yAxis->setInitialPhase1(s.initialPhaseY);
  _yAxis->setInitialPhase2(s.initialPhaseY2);
}

void OrbeluneView::startAnimation() {
  if (isAnimating()) return;
  setProperty();
  _startDate = clock().now();
  _time = 0.0;
  _lastTime = 0.0;
  _isFirstPoint = true;
  _isContinue = true;
  _xAxis->resetPhase();
  _yAxis->resetPhase();
  _waveMArray = Trail();
  ScreenSaverView::startAnimation();
}

void OrbeluneView::stopAnimation() { ScreenSaverView::stopAnimation(); }

void OrbeluneView::animateOneFrame() { setNeedsDisplayInRect(bounds()); }

void OrbeluneView::setProperty() {
  const bool sweep = _sweep->method != 0;
  double fmax = _xAxis->frequency1();
  double fmin = _xAxis->frequency1();
  auto take = [&](double f) {
    if (f > fmax) fmax = f;
    if (f < fmin) fmin = f;
  };
  take(_yAxis->frequency1());
  if (sweep) {
    take(_xAxis->frequency2());
    take(_yAxis->frequency2());
  }

  double n = fmax <= 441.0 ? 100.0 * fmax : 44100.0;
  double rate = std::trunc(n);
  if (!(rate >= 100.0)) rate = 100.0;
  _sweep->samplingRate = rate;

  if (!sweep) {
    if (fmax <= 10.0) {
      _maxSplitNum = 10;
      _maxPathNum = fmin <= 2.0 ? 12 : 8;
    } else if (fmax <= 20.0) {
      _maxSplitNum = 8;
      _maxPathNum = fmin <= 2.0 ? 10 : 8;
    } else if (fmax <= 60.0) {
      _maxSplitNum = 6;
      _maxPathNum = fmin <= 2.0 ? 6 : 4;
    } else {
      _maxSplitNum = 2;
      _maxPathNum = fmin <= 10.0 ? 2 : 1;
    }
  } else {
    if (fmax <= 10.0) {
      _maxSplitNum = 10;
      _maxPathNum = fmin <= 2.0 ? 14 : 12;
    } else if (fmax <= 20.0) {
      _maxSplitNum = 8;
      _maxPathNum = 8;
    } else if (fmax <= 60.0) {
      _maxSplitNum = 6;
      _maxPathNum = 6;
    } else if (fmax < 100.0) {
      _maxSplitNum = 2;
      _maxPathNum = 2;
    } else {
      _maxSplitNum = 1;
      _maxPathNum = fmin <= 10.0 ? 2 : 1;
    }
  }
}

}  // namespace orbelune
