#include "session/saver_session.h"

#include <ctime>

#include "settings/presets.h"

namespace orbelune {
namespace {

double processCpuSeconds() {
  timespec cpu{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
}

}  // namespace

Settings drawFigure(const Settings& base, std::uint64_t& state) {
  Settings s = base;
  if (randomUnit(state) < 0.5) {
    const auto presets = presetTable();
    presets[nextRandom(state) % presets.size()].applyTo(s);
  } else {
    surpriseFigure(s, nextRandom(state));
  }
  return s;
}

void FigureShuffle::update(double now, double minutes, const Settings& base) {
  if (!(minutes > 0.0)) {
    periodStart_ = now;
    return;
  }
  const double period = minutes * 60.0;
  if (now - periodStart_ < period) return;
  periodStart_ += period;
  // After a stall (a suspend), one change, and the next period from now.
  if (now - periodStart_ >= period) periodStart_ = now;
  if (!base_) base_ = base;
  figure_ = drawFigure(*base_, state_);
  ++changes_;
}

SessionView::SessionView(std::unique_ptr<OrbeluneView> view, const SessionOptions& options, bool measuresLoad,
                         std::shared_ptr<FigureShuffle> shuffle)
    : view_(std::move(view)),
      shuffle_(std::move(shuffle)),
      shuffleChanges_(shuffle_->changes()),
      runScale_(options.scale),
      measuresLoad_(measuresLoad) {
  if (options.fps) fps_.emplace(measuresLoad);
}

void SessionView::setHostScale(double scale) { view_->setDisplayScale(runScale_ > 0.0 ? runScale_ : scale); }

void SessionView::resize(Size size) {
  const Size now = view_->bounds().size;
  if (now.width != size.width || now.height != size.height) view_->setFrameSize(size);
}

void SessionView::restartWith(const Settings& settings) {
  view_->stopAnimation();
  view_->applySettings(settings);
  view_->startAnimation();
}

std::optional<DrawOutcome> SessionView::drawFrame(Graphics& graphics) {
  Clock& clock = view_->clock();
  const double start = clock.now();
  const auto outcome = view_->tick(graphics);
  if (fps_ && outcome == DrawOutcome::Drawn) {
    const double now = clock.now();
    if (measuresLoad_) {
      fps_->frameDrawn(now, now - start, processCpuSeconds());
    } else {
      fps_->frameDrawn(now);
    }
    fps_->draw(graphics, view_->bounds(), view_->settings().textColor.value_or(Color::white()), view_->displayScale());
  }
  // After the frame, so that the next one is the new figure's first.
  shuffle_->update(clock.now(), view_->settings().shuffleMinutes, view_->settings());
  if (shuffleChanges_ != shuffle_->changes()) {
    shuffleChanges_ = shuffle_->changes();
    view_->changeFigure(shuffle_->figure());
  }
  return outcome;
}

SaverSession::SaverSession(SessionOptions options, std::shared_ptr<Clock> clock,
                           std::shared_ptr<ScreenSaverDefaults> store)
    : options_(std::move(options)),
      clock_(clock ? std::move(clock) : std::make_shared<MonotonicClock>()),
      store_(std::move(store)),
      shuffle_(std::make_shared<FigureShuffle>(options_.seed ? *options_.seed : freshSeed(), clock_->now())),
      measuresLoad_(dynamic_cast<VirtualClock*>(clock_.get()) == nullptr),
      interval_(OrbeluneView::kAnimationInterval) {}

std::optional<Settings> SaverSession::changedSettings() {
  if (!store_ || !store_->fileChanged()) return std::nullopt;
  Settings s;  // the built-in values: what loading registers as the defaults
  loadSettings(*store_, s);
  options_.overrides.applyTo(s);
  return s;
}

std::unique_ptr<SessionView> SaverSession::makeView(Size size, bool isPreview, double hostScale) {
  auto view = OrbeluneView::create(makeRect(0, 0, size.width, size.height), isPreview, store_, clock_, sweep_);
  if (!view) return nullptr;
  if (!options_.overrides.empty()) {
    Settings s = view->settings();
    options_.overrides.applyTo(s);
    view->applySettings(s);
  }
  interval_ = view->animationTimeInterval();
  // A view made after the session changed figure shows the current one.
  if (shuffle_->changes() > 0) view->changeFigure(shuffle_->figure());
  std::unique_ptr<SessionView> made(new SessionView(std::move(view), options_, measuresLoad_, shuffle_));
  made->setHostScale(hostScale);
  made->view().startAnimation();
  return made;
}


}  // namespace orbelune
