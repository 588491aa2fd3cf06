#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "oscillator/frequency.h"
#include "platform/color.h"
#include "platform/graphics.h"
#include "platform/screen_saver_view.h"
#include "settings/settings.h"

namespace orbelune {

// What one drawRect: call did.
enum class DrawOutcome { NotYet, Started, Idle, Drawn };

// The saver view: two oscillators traced as a fading trail of segment paths,
// with an optional status line.
class OrbeluneView : public ScreenSaverView {
 public:
  using FrameGroup = std::vector<std::shared_ptr<BezierPath>>;  // newest path first
  using Trail = std::deque<FrameGroup>;                          // newest group first

  // Creates the view and loads the settings store; nullptr when the frame is unusable.
  // Views made with the same sweep parameters share them (nullptr: a new set).
  static std::unique_ptr<OrbeluneView> initWithFrame(const Rect& frame, bool isPreview,
                                                     std::shared_ptr<Clock> clock = nullptr,
                                                     std::shared_ptr<SweepParameters> sweep = nullptr);
  ~OrbeluneView() override;

  void startAnimation() override;
  void stopAnimation() override;
  void animateOneFrame() override;
  // Its sheet is a SheetController (config_sheet/), made for the view by its host.
  bool hasConfigureSheet() override { return true; }
  void drawRect(const Rect& dirtyRect, Graphics& graphics) override;

  // Derives the sampling rate and the trail sizes from the oscillators' frequencies.
  void setProperty();

  // Every setting as it now acts on the figure, and a change of all of them at
  // once (nothing restarts: values fixed at the animation start keep theirs).
  Settings settings() const;
  void applySettings(const Settings& settings);

  DrawOutcome lastDrawOutcome() const { return _lastOutcome; }

  // The view's state, read by hosts, the sheet and tests.
  SweepParameters& sweep() const { return *_sweep; }
  Frequency& xAxis() { return *_xAxis; }
  Frequency& yAxis() { return *_yAxis; }
  bool isShowCurrentValue() const { return _isShowCurrentValue; }
  bool isShowFrequency() const { return _isShowFrequency; }
  bool isShowInitialPhase() const { return _isShowInitialPhase; }
  bool isFitToScreenSize() const { return _isFitToScreenSize; }
  double figureSize() const { return _figureSize; }
  double lineWidth() const { return _lineWidth; }
  const ColorField& lineColor() const { return _lineColor; }
  const ColorField& textColor() const { return _textColor; }
  const ColorField& backColor() const { return _backColor; }
  double time() const { return _time; }
  double lastTime() const { return _lastTime; }
  Point lastPoint() const { return _lastPoint; }
  const Trail& trail() const { return _waveMArray; }
  std::int64_t maxPathNum() const { return _maxPathNum; }
  std::int64_t maxSplitNum() const { return _maxSplitNum; }
  bool isFirstPoint() const { return _isFirstPoint; }
  bool isContinue() const { return _isContinue; }

  // Live changes, as the configuration sheet makes them.
  void setShowCurrentValue(bool v) { _isShowCurrentValue = v; }
  void setShowFrequency(bool v) { _isShowFrequency = v; }
  void setShowInitialPhase(bool v) { _isShowInitialPhase = v; }
  void setFitToScreenSize(bool v) { _isFitToScreenSize = v; }
  void setFigureSize(double v) { _figureSize = v; }
  void setLineWidth(double v) { _lineWidth = v; }
  void setLineColor(const ColorField& c) { _lineColor = c; }
  void setTextColor(const ColorField& c) { _textColor = c; }
  void setBackColor(const ColorField& c) { _backColor = c; }
  // Test seam: puts the sweep clock at a chosen time.
  void setTimeForTesting(double t) { _time = t; }

 protected:
  OrbeluneView() = default;
  bool initOrbeluneView(const Rect& frame, bool isPreview, std::shared_ptr<Clock> clock);

 private:
  // The view's own settings (size, width, options, colours) to and from the
  // settings record the store is read into and written from.
  void copyAppearanceTo(Settings& s) const;
  void takeAppearanceFrom(const Settings& s);
  void drawStatusLine(Graphics& graphics, const Rect& bounds, std::int64_t sweepMethod, double foldedTime,
                      double sampleTime);

  std::shared_ptr<SweepParameters> _sweep;  // before the axes, which read it
  std::unique_ptr<Frequency> _xAxis;
  std::unique_ptr<Frequency> _yAxis;
  bool _isShowCurrentValue = false;
  bool _isShowFrequency = false;
  bool _isShowInitialPhase = false;
  bool _isFitToScreenSize = false;
  double _figureSize = 0.0;
  double _lineWidth = 0.0;
  ColorField _lineColor;
  ColorField _textColor;
  ColorField _backColor;
  double _startDate = 0.0;
  double _time = 0.0;
  double _lastTime = 0.0;
  Point _lastPoint;
  Trail _waveMArray;
  std::int64_t _maxPathNum = 0;
  std::int64_t _maxSplitNum = 0;
  bool _isFirstPoint = false;
  bool _isContinue = false;

  DrawOutcome _lastOutcome = DrawOutcome::NotYet;
};

}  // namespace orbelune
