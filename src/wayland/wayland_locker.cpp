#include "wayland/wayland_locker.h"

#include <poll.h>

#include <list>
#include <optional>
#include <string>
#include <vector>

#include "cairo/text_engine.h"
#include "host/host_core.h"
#include "lock/lock_prompt.h"
#include "lock/prompt_drawing.h"
#include "view/orbelune_view.h"
#include "view/status_line.h"
#include "wayland/lock_keyboard.h"
#include "wayland/output_surface.h"
#include "wayland/wayland_display.h"
#include "wayland/wayland_seat.h"

namespace orbelune {
namespace {

class WaylandLocker {
 public:
  WaylandLocker(const WaylandLockOptions& options, PasswordCheck& auth, std::ostream& out, HostCore& core)
      : options_(options),
        auth_(auth),
        out_(out),
        core_(core),
        prompt_(clock_),
        keyboard_([this](const LockKey& key, bool caps) { onKey(key, caps); }) {}

  LockOutcome run();

 private:
  static void onLocked(void* data, ext_session_lock_v1*) { static_cast<WaylandLocker*>(data)->locked_ = true; }
  static void onFinished(void* data, ext_session_lock_v1*) { static_cast<WaylandLocker*>(data)->finished_ = true; }

  void onKey(const LockKey& key, bool capsLock);
  void checkLost(bool withPassword);
  void cover(OutputSurface& o);
  void drawPrompt(Graphics& graphics, const SessionView& view) const;
  void applyChanges();
  // Draws the figure on one output; false, said, when that failed.
  bool draw(OutputSurface& o);
  bool unlock();

  const WaylandLockOptions& options_;
  PasswordCheck& auth_;
  std::ostream& out_;
  HostCore& core_;
  MonotonicClock clock_;
  LockPrompt prompt_;
  LockKeyboard keyboard_;
  WaylandDisplay display_;
  std::optional<WaylandSeat> seat_;
  std::list<OutputSurface> outputs_;
  ext_session_lock_v1* lock_ = nullptr;
  bool locked_ = false;    // the compositor said the session is locked
  bool finished_ = false;  // the compositor ended (or refused) the lock
  bool checking_ = false;  // a password went to the child, its reply is awaited
};

void WaylandLocker::onKey(const LockKey& key, bool capsLock) {
  if (!locked_) return;
  prompt_.setCapsLock(capsLock);
  if (prompt_.key(key) != LockPrompt::Action::Submit) return;
  if (auth_.submit(prompt_.password())) {
    checking_ = true;
  } else {
    checkLost(true);
  }
}

// The check's process is gone, with a password (`withPassword`) or between
// two: another takes its place, the session locked meanwhile, and the prompt
// asks again for the password it lost; once the restarts ran out, the prompt
// says passwords cannot be checked.
void WaylandLocker::checkLost(bool withPassword) {
  checking_ = false;
  if (!auth_.running()) {  // said when the last one went
    prompt_.checkLost();
    return;
  }
  std::string error;
  if (auth_.restart(error)) {
    core_.say("the password check's process ended and a new one took its place; the session stays locked");
    if (withPassword) prompt_.checkRestarted();
    return;
  }
  core_.say("the password check's process is gone (" + error + "); the session stays locked");
  prompt_.checkLost();
}

void WaylandLocker::cover(OutputSurface& o) {
  o.coverWithLockSurface(display_, lock_);
  o.overlay = [this](Graphics& graphics, const SessionView& view) { drawPrompt(graphics, view); };
}

void WaylandLocker::drawPrompt(Graphics& graphics, const SessionView& view) const {
  const Settings& settings = view.view().settings();
  const PromptStyle style{settings.textColor.value_or(Color::white()), settings.backColor.value_or(Color::black()),
                          view.view().displayScale()};
  drawLockPrompt(graphics, prompt_, view.view().bounds(), style);
}

bool WaylandLocker::draw(OutputSurface& o) {
  if (core_.ended()) return false;  // a failure already said so: once
  auto drawn = o.draw(core_, display_);
  if (!drawn) core_.fail(drawn.error());  // the session stays locked: the compositor keeps it so
  return static_cast<bool>(drawn);
}

void WaylandLocker::applyChanges() {
  if (seat_) seat_->apply();
  prompt_.tick();
  // An output unplugged takes its lock surface; one plugged in gets one.
  outputs_.remove_if([](const OutputSurface& o) { return o.removed; });
  for (auto& o : outputs_) {
    if (o.described && !o.surface) cover(o);
    if (o.acknowledge() || std::exchange(o.rescaled, false)) {
      if (!draw(o)) return;
    }
    o.presented = false;
  }
}

bool WaylandLocker::unlock() {
  ext_session_lock_v1_unlock_and_destroy(lock_);
  lock_ = nullptr;
  for (auto& o : outputs_) o.uncover();
  // The unlock reaches the compositor before the process says so and ends.
  return display_.flushAll() && wl_display_roundtrip(display_.display()) >= 0;
}

LockOutcome WaylandLocker::run() {
  if (!display_.connected()) {
    core_.say("cannot connect to a Wayland compositor");
    return LockOutcome::NoDisplay;
  }
  display_.bind({.seat = true, .sessionLock = true},
                {.added = [this](uint32_t name, wl_output* output) { outputs_.emplace_back(name, output); },
                 .removed =
                     [this](uint32_t name) {
                       for (auto& o : outputs_) {
                         if (o.globalName == name) o.removed = true;
                       }
                     }});
  if (!display_.lockManager()) return LockOutcome::NoProtocol;
  if (!display_.compositor() || !display_.shm()) {
    core_.say("this compositor lacks wl_compositor or wl_shm");
    return LockOutcome::NoProtocol;
  }
  seat_.emplace(display_.seat(), core_, &keyboard_);
  wl_display* display = display_.display();
  wl_display_roundtrip(display);  // the outputs' done events
  // The fonts before any large buffer (see the saver's host).
  TextEngine().measure("0", kStatusFontName, kStatusFontSize);

  if (!prompt_.password().locked()) {
    core_.say("the password's memory could not be locked (mlock refused, see ulimit -l); "
              "it may reach swap, and is still wiped after use");
  }
  static constexpr ext_session_lock_v1_listener listener{.locked = onLocked, .finished = onFinished};
  lock_ = ext_session_lock_manager_v1_lock(display_.lockManager());
  ext_session_lock_v1_add_listener(lock_, &listener, this);
  bool saidLocked = false;

  FramePacer& pacer = core_.pacer();
  while (!core_.ended()) {
    if (finished_) {
      if (!locked_) {
        core_.say("the compositor refused the lock (another locker holds it?)");
        ext_session_lock_v1_destroy(lock_);  // allowed once finished
        lock_ = nullptr;
        display_.flushAll();
        return LockOutcome::Refused;
      }
      // The compositor ended a lock it had granted: the locker has nothing
      // left to guard, and says so.
      core_.say("the compositor ended the lock");
      ext_session_lock_v1_destroy(lock_);
      lock_ = nullptr;
      display_.flushAll();
      return LockOutcome::Failed;
    }
    if (locked_ && !saidLocked) {
      saidLocked = true;
      if (options_.verbose) out_ << core_.name() << ": locked" << std::endl;
    }
    if (prompt_.unlocked()) {
      if (!unlock()) break;
      if (options_.verbose) out_ << core_.name() << ": unlocked" << std::endl;
      return LockOutcome::Unlocked;
    }
    applyChanges();
    if (core_.ended()) break;
    if (pacer.due(core_.now())) {
      for (auto& o : outputs_) draw(o);
      pacer.advance(core_.now());
    }
    std::vector<pollfd> fds{{}, {auth_.fd(), POLLIN, 0}};
    if (!display_.exchange(fds, pacer.timeoutMs(core_.now()))) break;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      const auto reply = auth_.receiveReply();
      if (reply == auth_channel::Reply::Fault) {
        checkLost(checking_);
      } else if (checking_) {  // a reply nobody asked for (the child never sends one) counts for nothing
        checking_ = false;
        prompt_.checked(reply);
        if (reply == auth_channel::Reply::Rejected && options_.verbose) {
          out_ << core_.name() << ": wrong password" << std::endl;
        }
      }
    }
  }
  if (!core_.ended()) core_.lostConnection(kCompositor, display_.failure());
  return locked_ ? LockOutcome::Failed : LockOutcome::Refused;
}

}  // namespace

LockOutcome runWaylandLock(const WaylandLockOptions& options, PasswordCheck& auth, std::ostream& out,
                           std::ostream& err) {
  HostCore core("orbelune lock", options.session, InputRules::Mode::NoInput, err);
  WaylandLocker locker(options, auth, out, core);
  return locker.run();
}

}  // namespace orbelune
