#include "wayland/wayland_locker.h"

#include <poll.h>

#include <list>
#include <optional>

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
  WaylandLocker(const WaylandLockOptions& options, AuthChild& auth, std::ostream& out, HostCore& core)
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
  void cover(OutputSurface& o);
  void drawPrompt(Graphics& graphics, const SessionView& view) const;
  void applyChanges();
  bool unlock();

  const WaylandLockOptions& options_;
  AuthChild& auth_;
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
  bool authLost_ = false;  // the child is gone: its socket is no longer watched
};

void WaylandLocker::onKey(const LockKey& key, bool capsLock) {
  if (!locked_) return;
  prompt_.setCapsLock(capsLock);
  if (prompt_.key(key) != LockPrompt::Action::Submit) return;
  checking_ = true;
  if (authLost_ || !auth_.submit(prompt_.password())) {
    prompt_.password().clear();
    checking_ = false;
    if (authLost_) {
      prompt_.checkLost();
      return;
    }
    authLost_ = true;
    prompt_.checkLost();
    core_.err() << core_.name() << ": the password check's process is gone; the session stays locked\n";
  }
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

void WaylandLocker::applyChanges() {
  if (seat_) seat_->apply();
  prompt_.tick();
  // An output unplugged takes its lock surface; one plugged in gets one.
  outputs_.remove_if([](const OutputSurface& o) { return o.removed; });
  for (auto& o : outputs_) {
    if (o.described && !o.surface) cover(o);
    if (o.acknowledge() || std::exchange(o.rescaled, false)) {
      if (!o.draw(core_, display_)) return;
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
    core_.err() << core_.name() << ": cannot connect to a Wayland compositor\n";
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
    core_.err() << core_.name() << ": this compositor lacks wl_compositor or wl_shm\n";
    return LockOutcome::NoProtocol;
  }
  seat_.emplace(display_.seat(), core_, &keyboard_);
  wl_display* display = display_.display();
  wl_display_roundtrip(display);  // the outputs' done events
  // The fonts before any large buffer (see the saver's host).
  TextEngine().measure("0", kStatusFontName, kStatusFontSize);

  static constexpr ext_session_lock_v1_listener listener{.locked = onLocked, .finished = onFinished};
  lock_ = ext_session_lock_manager_v1_lock(display_.lockManager());
  ext_session_lock_v1_add_listener(lock_, &listener, this);
  bool saidLocked = false;

  FramePacer& pacer = core_.pacer();
  while (!core_.ended()) {
    if (finished_) {
      if (!locked_) {
        core_.err() << core_.name() << ": the compositor refused the lock (another locker holds it?)\n";
        ext_session_lock_v1_destroy(lock_);  // allowed once finished
        lock_ = nullptr;
        display_.flushAll();
        return LockOutcome::Refused;
      }
      // The compositor ended a lock it had granted: the locker has nothing
      // left to guard, and says so.
      core_.err() << core_.name() << ": the compositor ended the lock\n";
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
      for (auto& o : outputs_) o.draw(core_, display_);
      pacer.advance(core_.now());
    }
    if (!display_.flushAll()) break;
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) break;
    }
    const int timeout = pacer.timeoutMs(core_.now());
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {authLost_ ? -1 : auth_.fd(), POLLIN, 0}};
    const int ready = poll(fds, 2, timeout);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      if (wl_display_read_events(display) < 0) break;
    } else {
      wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) break;
    if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const auto reply = auth_.receiveReply();
      if (reply == auth_channel::Reply::Fault) {
        authLost_ = true;
        core_.err() << core_.name() << ": the password check's process is gone; the session stays locked\n";
      }
      // A reply nobody asked for (the child never sends one) counts for nothing.
      if (checking_ || reply == auth_channel::Reply::Fault) prompt_.checked(reply);
      checking_ = false;
    }
  }
  if (!core_.ended()) core_.lostConnection("the Wayland compositor");
  return locked_ ? LockOutcome::Failed : LockOutcome::Refused;
}

}  // namespace

LockOutcome runWaylandLock(const WaylandLockOptions& options, AuthChild& auth, std::ostream& out,
                           std::ostream& err) {
  HostCore core("orbelune lock", options.session, InputRules::Mode::NoInput, err);
  WaylandLocker locker(options, auth, out, core);
  return locker.run();
}

}  // namespace orbelune
