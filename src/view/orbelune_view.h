#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "oscillator/oscillator.h"
#include "contracts/color.h"
#include "contracts/graphics.h"
#include "contracts/screen_saver_view.h"
#include "settings/settings.h"

namespace orbelune {

class ScreenSaverDefaults;

// What one drawRect: call did.
enum class DrawOutcome { NotYet, Started, Idle, Drawn };

// The saver view: two oscillators traced as a fading trail of segment paths,
// with an optional status line.
class OrbeluneView : public ScreenSaverView {
 public:
  using FrameGroup = std::vector<std::shared_ptr<BezierPath>>;  // newest path first
  using Trail = std::deque<FrameGroup>;                          // newest group first

  // Creates the view with the settings of the store its host hands it (with
  // none, the built-in values); nullptr when the frame is unusable. Views made
  // with the same sweep parameters share them (nullptr: a new set).
  static std::unique_ptr<OrbeluneView> create(const Rect& frame, bool isPreview,
                                              const std::shared_ptr<ScreenSaverDefaults>& store,
                                              std::shared_ptr<Clock> clock = nullptr,
                                              std::shared_ptr<SweepParameters> sweep = nullptr);
  ~OrbeluneView() override;

  // Seconds between two frames of the figure.
  static constexpr double kAnimationInterval = 0.05;

  void startAnimation() override;
  void stopAnimation() override;
  void animateOneFrame() override;
  // Its sheet is a SheetController (sheet/), made for the view by its host.
  bool hasConfigureSheet() override { return true; }
  void drawRect(const Rect& dirtyRect, Graphics& graphics) override;

  // One frame as every host drives the view at its interval: animateOneFrame,
  // then drawRect of the invalidated view. What drawRect did, or nullopt when
  // nothing was drawn; only Drawn changed the pixels a host must show.
  std::optional<DrawOutcome> tick(Graphics& graphics);

  // Derives the sampling rate and the trail sizes from the oscillators' frequencies.
  void deriveSampling();

  // Every setting as it now acts on the figure, and a change of all of them at
  // once (nothing restarts: values fixed at the animation start keep theirs).
  // The sweep method and time are read from, and applied to, the host's shared
  // sweep parameters, their one home: a change through any view of the host
  // shows in the settings of all of them. The frequencies and phases are also
  // the oscillators', which sample with them.
  Settings settings() const;
  void applySettings(const Settings& settings);

  // Moves to another figure without a jump: applies `figure`'s shape and looks
  // (the settings table's figure column: sweep, frequencies, phases, size, line
  // width, fit; the other settings and the display scale stay), re-derives the
  // sampling rate and the trail sizes, puts the oscillators' phases and the
  // sweep clock back to 0 and starts a new line. The paths already drawn stay in the trail (cut to its
  // new size), so that they fade out as the new figure's paths push them off.
  void changeFigure(const Settings& figure);

  DrawOutcome lastDrawOutcome() const { return lastOutcome_; }

  // The view's state, read by hosts, the sheet and tests.
  SweepParameters& sweep() const { return *sweep_; }
  Oscillator& xAxis() { return *xAxis_; }
  Oscillator& yAxis() { return *yAxis_; }
  double time() const { return time_; }
  double lastTime() const { return lastTime_; }
  Point lastPoint() const { return lastPoint_; }
  const Trail& trail() const { return trail_; }
  std::int64_t maxPathNum() const { return maxPathNum_; }
  std::int64_t maxSplitNum() const { return maxSplitNum_; }
  bool isFirstPoint() const { return isFirstPoint_; }
  bool isContinue() const { return isContinue_; }

  // Pixels a point on the screen the view draws on (2 on a 2x screen): line
  // widths and text are drawn that many times larger. 1 unless a host says.
  void setDisplayScale(double scale) { displayScale_ = scale > 0.0 && scale <= 16.0 ? scale : 1.0; }
  double displayScale() const { return displayScale_; }
  // Test seam: puts the sweep clock at a chosen time.
  void setTimeForTesting(double t) { time_ = t; }

 protected:
  OrbeluneView() = default;
  bool initFigure(const Rect& frame, bool isPreview, ScreenSaverDefaults* store, std::shared_ptr<Clock> clock);

 private:
  void drawStatusLine(Graphics& graphics, const Rect& bounds, std::int64_t sweepMethod, double foldedTime,
                      double sampleTime);

  std::shared_ptr<SweepParameters> sweep_;  // before the axes, which read it
  std::unique_ptr<Oscillator> xAxis_;
  std::unique_ptr<Oscillator> yAxis_;
  Settings settings_;  // all but the sweep method and time, which sweep_ holds
  double displayScale_ = 1.0;
  double startDate_ = 0.0;
  double time_ = 0.0;
  double lastTime_ = 0.0;
  Point lastPoint_;
  Trail trail_;
  std::int64_t maxPathNum_ = 0;
  std::int64_t maxSplitNum_ = 0;
  bool isFirstPoint_ = false;
  bool isContinue_ = false;

  DrawOutcome lastOutcome_ = DrawOutcome::NotYet;
};

}  // namespace orbelune
