#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contracts/clock.h"
#include "contracts/geometry.h"
#include "contracts/graphics.h"
#include "oscillator/sweep_parameters.h"
#include "settings/setting_overrides.h"
#include "store/screen_saver_defaults.h"
#include "view/frame_rate_overlay.h"
#include "view/orbelune_view.h"

namespace orbelune {

// What a run of the saver is asked for, whatever shows it.
struct SessionOptions {
  SettingOverrides overrides;  // settings for this run only, never stored
  bool fps = false;            // the frame-rate overlay
  double scale = 0.0;          // pixels a point; 0: what the host says (screen, output)
  // The seed of the run's random choices (a surprise figure, shuffling);
  // none: one drawn from the clock, so that each run differs.
  std::optional<std::uint64_t> seed = std::nullopt;
};

// A session's changes of figure when its settings ask for them (ShuffleMinutes
// above 0): every so many minutes of the session's clock, the next figure, a
// random preset or a surprise figure, drawn from a generator started from the
// run's seed. All views of the session move to the same figure: the first view
// to draw after the period's end makes the choice, the others take it.
class FigureShuffle {
 public:
  FigureShuffle(std::uint64_t seed, double start) : state_(seed), periodStart_(start) {}

  // Whether a new figure is due at `now` for a period of `minutes` (the
  // drawing view's setting; 0 or less: none, and the period counts from now
  // on); if so, draws it over `base`.
  void update(double now, double minutes, const Settings& base);
  // How many figures were drawn, and the last one.
  std::uint64_t changes() const { return changes_; }
  const Settings& figure() const { return figure_; }

 private:
  std::uint64_t state_;
  double periodStart_;
  std::uint64_t changes_ = 0;
  std::optional<Settings> base_;  // the settings the first change started from
  Settings figure_;
};

// The figure drawn for one change: a random preset or a surprise figure, one
// chance in two, over `base`; advances `state`.
Settings drawFigure(const Settings& base, std::uint64_t& state);

// One view of a session, with its frame-rate overlay.
class SessionView {
 public:
  OrbeluneView& view() { return *view_; }
  const OrbeluneView& view() const { return *view_; }

  // The scale of the surface the view draws on (Xft.dpi, an output's scale);
  // a scale the run was given wins over it.
  void setHostScale(double scale);
  // Follows a resized surface; nothing restarts.
  void resize(Size size);

  // Starts the figure again with `settings`, as a run started now would show
  // them: a new trail, sampling and sweep from the start.
  void restartWith(const Settings& settings);

  // One frame at the view's interval: animateOneFrame, drawRect: of the
  // invalidated view and, over it, the overlay. What drawRect: did, or nullopt
  // when nothing was drawn; only Drawn changed the pixels a host must show.
  std::optional<DrawOutcome> drawFrame(Graphics& graphics);

 private:
  friend class SaverSession;
  SessionView(std::unique_ptr<OrbeluneView> view, const SessionOptions& options, bool measuresLoad,
              std::shared_ptr<FigureShuffle> shuffle);

  std::unique_ptr<OrbeluneView> view_;
  std::shared_ptr<FigureShuffle> shuffle_;
  std::uint64_t shuffleChanges_ = 0;  // the session's changes this view has made
  std::optional<FrameRateOverlay> fps_;
  double runScale_;
  bool measuresLoad_;
};

// The saver as every host runs it (the X11 and Wayland hosts, the settings
// app's preview and the headless renderer): it makes the views with the run's
// settings, scale and overlay, draws their frames, and knows the interval
// frames are paced by (host/frame_pacer.h). Its views share one clock and one set of sweep
// parameters, so a change made through one view's sheet acts on all of them.
// A host keeps only what is its window system's own: events, buffers, outputs.
class SaverSession {
 public:
  // `clock`: the views' time (a virtual one for reproducible runs, whose
  // overlay then counts frames only). `store`: where the views read their
  // settings; none leaves the built-in values.
  SaverSession(SessionOptions options, std::shared_ptr<Clock> clock, std::shared_ptr<ScreenSaverDefaults> store);

  // A started view for a surface of `size` pixels; nullptr when the size is unusable.
  std::unique_ptr<SessionView> makeView(Size size, bool isPreview, double hostScale = 1.0);
  const std::shared_ptr<ScreenSaverDefaults>& store() const { return store_; }
  // The settings the store's file holds now, with the run's overrides, when
  // the file changed since the store last read it; nullopt when it did not
  // (one stat) or there is no store.
  std::optional<Settings> changedSettings();

  // Seconds between frames: the views' animation interval.
  double interval() const { return interval_; }
  Clock& clock() const { return *clock_; }
  const SessionOptions& options() const { return options_; }
  const FigureShuffle& shuffle() const { return *shuffle_; }

 private:
  SessionOptions options_;
  std::shared_ptr<Clock> clock_;
  std::shared_ptr<ScreenSaverDefaults> store_;
  std::shared_ptr<SweepParameters> sweep_ = std::make_shared<SweepParameters>();
  std::shared_ptr<FigureShuffle> shuffle_;
  bool measuresLoad_;
  double interval_;
};

}  // namespace orbelune
