#include "session/saver_session.h"

#include <cmath>
#include <ctime>

namespace orbelune {
namespace {

double processCpuSeconds() {
  timespec cpu{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
}

}  // namespace

SessionView::SessionView(std::unique_ptr<OrbeluneView> view, const SessionOptions& options, bool measuresLoad)
    : view_(std::move(view)), runScale_(options.scale), measuresLoad_(measuresLoad) {
  if (options.fps) fps_.emplace(measuresLoad);
}

void SessionView::setHostScale(double scale) { view_->setDisplayScale(runScale_ > 0.0 ? runScale_ : scale); }

void SessionView::resize(Size size) {
  const Size now = view_->bounds().size;
  if (now.width != size.width || now.height != size.height) view_->setFrameSize(size);
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
  return outcome;
}

SaverSession::SaverSession(SessionOptions options, std::shared_ptr<Clock> clock,
                           std::shared_ptr<ScreenSaverDefaults> store)
    : options_(std::move(options)),
      clock_(clock ? std::move(clock) : std::make_shared<MonotonicClock>()),
      store_(std::move(store)),
      measuresLoad_(dynamic_cast<VirtualClock*>(clock_.get()) == nullptr),
      interval_(OrbeluneView::kAnimationInterval) {}

std::unique_ptr<SessionView> SaverSession::makeView(Size size, bool isPreview, double hostScale) {
  auto view = OrbeluneView::create(makeRect(0, 0, size.width, size.height), isPreview, store_, clock_, sweep_);
  if (!view) return nullptr;
  if (!options_.overrides.empty()) {
    Settings s = view->settings();
    options_.overrides.applyTo(s);
    view->applySettings(s);
  }
  interval_ = view->animationTimeInterval();
  std::unique_ptr<SessionView> made(new SessionView(std::move(view), options_, measuresLoad_));
  made->setHostScale(hostScale);
  made->view().startAnimation();
  return made;
}

std::vector<std::string> SaverSession::takeStoreWarnings() {
  return store_ ? store_->takeWarnings() : std::vector<std::string>();
}

int FramePacer::timeoutMs(double now) const {
  const double ms = std::ceil((next_ - now) * 1000.0);
  return ms > 0.0 ? static_cast<int>(ms) : 0;
}

}  // namespace orbelune
