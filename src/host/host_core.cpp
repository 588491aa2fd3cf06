#include "host/host_core.h"

#include "bundle_info.h"
#include "host/store_warnings.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {

HostCore::HostCore(std::string name, const SessionOptions& options, InputRules::Mode mode, std::ostream& err,
                   std::shared_ptr<Clock> viewClock, ScreenSaverDefaults::Access access)
    : name_(std::move(name)),
      err_(err),
      session_(options, std::move(viewClock), ScreenSaverDefaults::forModule(kBundleIdentifier, access)),
      pacer_(session_.interval(), clock_.now()),
      rules_(mode) {}

Result<std::unique_ptr<SessionView>> HostCore::makeView(Size size, bool isPreview, double hostScale) {
  auto view = session_.makeView(size, isPreview, hostScale);
  sayStoreWarnings(session_.store().get(), err_, name_);
  if (!view) return Error{"cannot create the view"};
  pacer_.setInterval(session_.interval());
  return Result<std::unique_ptr<SessionView>>(std::move(view));
}

std::optional<Settings> HostCore::changedSettings() {
  auto settings = session_.changedSettings();
  if (settings) sayStoreWarnings(session_.store().get(), err_, name_);
  return settings;
}

void HostCore::input(const HostEvent& event) {
  if (!rules_.ends(event)) return;
  if (cycle_) {
    inputEnded_ = true;  // hides the figure; the watcher goes on
  } else {
    end(0);
  }
}

void HostCore::frameOnScreen(std::size_t monitors) {
  rules_.firstFrameShown();
  if (!cycle_ || announced_ || cycle_->state() != IdleCycle::State::Shown) return;
  announced_ = true;
  if (out_) *out_ << name_ << ": showing the figure on " << monitors << (monitors == 1 ? " monitor" : " monitors") << std::endl;
}

void HostCore::watchIdle(IdleSource& source, std::ostream* out) {
  cycle_.emplace(source);
  out_ = out;
}

IdleCycle::Step HostCore::idleStep(bool closed) {
  if (!cycle_) return IdleCycle::Step::Stay;
  const auto step = cycle_->step(inputEnded_, closed);
  if (step == IdleCycle::Step::Show) {
    rules_.restart();
    inputEnded_ = false;
    announced_ = false;
    if (locker_) locker_->figureShown(now());
  } else if (step == IdleCycle::Step::Hide) {
    inputEnded_ = false;
    if (locker_) locker_->figureHidden();
    // Said only of a showing the user saw.
    if (out_ && announced_) *out_ << name_ << (underLock_ ? ": hidden under the lock" : ": hidden on input") << std::endl;
  }
  underLock_ = false;
  return step;
}

void HostCore::prepareLock(std::vector<pollfd>& fds, int& timeoutMs) {
  if (locker_) locker_->prepare(fds, timeoutMs, now());
}

void HostCore::dispatchLock(std::vector<pollfd>& fds) {
  if (locker_) locker_->dispatch(fds, now(), *this);
}

void HostCore::lockIsUp() {
  if (!cycle_ || cycle_->state() != IdleCycle::State::Shown) return;
  inputEnded_ = true;
  underLock_ = true;
}

void HostCore::end(int status) {
  if (ended_) return;  // the first reason stands
  ended_ = true;
  status_ = status;
}

void HostCore::fail(const std::string& message) {
  if (ended_) return;
  say(message);
  end(1);
}

Error HostCore::connectionLost(const std::string& server, const std::string& why) {
  return Error{"lost the connection to " + server + (why.empty() ? "" : " (" + why + ")")};
}

void HostCore::say(const std::string& message) { err_ << name_ << ": " << message << "\n"; }

void HostCore::note(const std::string& message) {
  if (out_) *out_ << name_ << ": " << message << std::endl;
}

}  // namespace orbelune
