#include "wayland/wayland_locker.h"

#include <poll.h>

#include <algorithm>
#include <cmath>
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

// How long an output whose frame could not be drawn waits before the next
// try: a buffer refused under memory pressure is not asked for every frame.
constexpr double kDrawAgainSeconds = 1.0;

// One seat of the compositor's, each with a keyboard of its own (its keymap
// and state), all typing into the one prompt.
struct LockSeat {
  LockSeat(uint32_t name, wl_seat* seat, HostCore& core, std::function<void(const LockKey&, bool)> pressed)
      : globalName(name), handle(seat), keyboard(std::move(pressed)), input(handle.get(), core, &keyboard) {}
  uint32_t globalName;
  WlHandle<wl_seat> handle;  // declared first, released last
  LockKeyboard keyboard;
  WaylandSeat input;
  bool removed = false;  // recorded: its global went away
};

class WaylandLocker {
 public:
  WaylandLocker(const WaylandLockOptions& options, PasswordCheck& auth, std::ostream& out, HostCore& core)
      : options_(options),
        auth_(auth),
        out_(out),
        core_(core),
        prompt_(clock_) {}

  LockOutcome run();

 private:
  static void onLocked(void* data, ext_session_lock_v1*) { static_cast<WaylandLocker*>(data)->locked_ = true; }
  static void onFinished(void* data, ext_session_lock_v1*) { static_cast<WaylandLocker*>(data)->finished_ = true; }

  void onKey(const LockKey& key, bool capsLock);
  void submit();
  void cancelCheck();
  void checkFailed(bool withPassword, const std::string& what, const std::string& toUser = {});
  void handleReply();
  void watchCheck();
  void sayMemory();
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
  WaylandDisplay display_;
  std::list<LockSeat> seats_;
  std::list<OutputSurface> outputs_;
  ext_session_lock_v1* lock_ = nullptr;
  bool locked_ = false;    // the compositor said the session is locked
  bool finished_ = false;  // the compositor ended (or refused) the lock
  bool waitSaid_ = false;  // said that new checks come after growing waits
  bool checkMemoryUnlocked_ = false;  // a check's process could not lock its memory
  bool memorySaid_ = false;           // said that memory with passwords could not be locked
};

void WaylandLocker::onKey(const LockKey& key, bool capsLock) {
  if (!locked_) return;
  prompt_.setCapsLock(capsLock);
  switch (prompt_.key(key)) {
    case LockPrompt::Action::Submit:
      submit();
      return;
    case LockPrompt::Action::Cancel:
      cancelCheck();
      return;
    case LockPrompt::Action::None:
      return;
  }
}

void WaylandLocker::submit() {
  if (auth_.submit(prompt_.password())) return;
  checkFailed(true, "the password check's process could not take the password");
}

// Escape while checking: the check's process is killed with whatever it was
// doing (a PAM module waiting on a device, a network), and a new one waits
// for the next try. Its socket goes with it, so no late reply is ever read.
void WaylandLocker::cancelCheck() {
  if (!auth_.checking()) return;
  std::string error;
  if (auth_.cancel(error)) return;
  core_.say("the password check could not start again after a cancelled check (" + error +
            "); the session stays locked");
  prompt_.checkLost();
}

// The check's process failed (it ended, hung, or sent what it never sends),
// with a password (`withPassword`) or between two: another takes its place,
// the session locked meanwhile, and the prompt asks again for the password
// it lost (saying `toUser` when given). Past the failures in a row that are
// replaced at once, new ones come after growing waits, which is said once;
// the prompt says meanwhile that passwords cannot be checked.
void WaylandLocker::checkFailed(bool withPassword, const std::string& what, const std::string& toUser) {
  const bool wasUnavailable = prompt_.phase() == LockPrompt::Phase::Unavailable;
  std::string error;
  if (auth_.restart(error)) {
    core_.say(what + "; a new one took its place; the session stays locked");
    if (withPassword || wasUnavailable) prompt_.checkRestarted(toUser);
    return;
  }
  if (!auth_.waiting()) {
    core_.say(what + " and no new one could start (" + error + "); the session stays locked");
  } else if (!waitSaid_) {
    waitSaid_ = true;
    core_.say(what + "; it failed " + std::to_string(auth_.failuresInARow()) +
              " times in a row, so new ones start after growing waits (at most " +
              std::to_string(static_cast<int>(PasswordCheck::kLongestRetrySeconds)) +
              " s); the session stays locked");
  }
  prompt_.checkLost();
}

void WaylandLocker::handleReply() {
  std::string notice;
  const bool withPassword = auth_.checking();
  const auto reply = auth_.receiveReply(&notice);
  switch (reply) {
    case auth_channel::Reply::Fault:
      checkFailed(withPassword, "the password check's process ended");
      return;
    case auth_channel::Reply::Notice:
      prompt_.notice(notice);
      return;
    case auth_channel::Reply::MemoryUnlocked:
      checkMemoryUnlocked_ = true;
      sayMemory();
      return;
    case auth_channel::Reply::Accepted:
    case auth_channel::Reply::Rejected:
    case auth_channel::Reply::Unchecked:
      break;
  }
  if (waitSaid_) {
    waitSaid_ = false;
    core_.say("the password check answers again");
  }
  prompt_.checked(reply);
  if (reply == auth_channel::Reply::Unchecked) {
    // Not the password: PAM could not check it (a directory service out of
    // reach, a module failing). Said, since only this side can tell.
    core_.say("the password could not be checked (PAM failed, not a refusal); the session stays locked");
  } else if (reply == auth_channel::Reply::Rejected && options_.verbose) {
    out_ << core_.name() << ": wrong password" << std::endl;
  }
}

// Once locked (a locker refused has nothing to say of it), and once for the
// lock: the password check's process could not lock its memory.
void WaylandLocker::sayMemory() {
  if (!locked_ || !checkMemoryUnlocked_ || memorySaid_) return;
  memorySaid_ = true;
  core_.say("the password check's memory could not be locked (mlockall refused, see ulimit -l); "
            "PAM's copies of a password may reach swap");
}

// What is due without a message of the child's: a check past its time, a
// new child after a wait, a submit kept through the refusal's delay.
void WaylandLocker::watchCheck() {
  if (auth_.overdue()) {
    checkFailed(true,
                "the password check took longer than " +
                    std::to_string(static_cast<int>(PasswordCheck::kCheckSeconds)) + " s and was stopped",
                "The check took too long: type the password again");
  }
  std::string error;
  if (!auth_.running() && auth_.retryIfDue(error)) {
    if (prompt_.phase() == LockPrompt::Phase::Unavailable) prompt_.checkRestarted();
  }
  if (prompt_.tick() == LockPrompt::Action::Submit) submit();
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
  if (o.drawFailed && core_.now() < o.drawAgainAt) return true;
  auto drawn = o.draw(core_, display_);
  if (drawn) {
    o.drawFailed = false;
    return true;
  }
  // Only the compositor's loss ends the locker (the session stays locked:
  // the compositor keeps it so). An output whose frame could not be had (a
  // buffer refused for a huge output under memory pressure) is left to the
  // compositor's own lock colour and tried again a while later.
  if (wl_display_get_error(display_.display()) != 0 || !display_.flushAll()) {
    core_.fail(drawn.error());
    return false;
  }
  if (!o.drawFailed) {
    core_.say("cannot draw on an output (" + drawn.error().message + "); it is tried again, the session stays locked");
  }
  o.drawFailed = true;
  o.drawAgainAt = core_.now() + kDrawAgainSeconds;
  return true;
}

void WaylandLocker::applyChanges() {
  seats_.remove_if([](const LockSeat& s) { return s.removed; });
  for (auto& s : seats_) s.input.apply();
  watchCheck();
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
                       for (auto& s : seats_) {
                         if (s.globalName == name) s.removed = true;
                       }
                     },
                 // Every seat types into the prompt: a second seat's keyboard
                 // (another person's, a virtual one) is no less the user's.
                 .seatAdded =
                     [this](uint32_t name, wl_seat* seat) {
                       seats_.emplace_back(name, seat, core_,
                                           [this](const LockKey& key, bool caps) { onKey(key, caps); });
                     }});
  if (!display_.lockManager()) return LockOutcome::NoProtocol;
  if (!display_.compositor() || !display_.shm()) {
    core_.say("this compositor lacks wl_compositor or wl_shm");
    return LockOutcome::NoProtocol;
  }
  wl_display* display = display_.display();
  wl_display_roundtrip(display);  // the outputs' done events
  // The fonts before any large buffer (see the saver's host).
  TextEngine().measure("0", kStatusFontName, kStatusFontSize);

  if (!prompt_.password().locked()) {
    memorySaid_ = true;  // the limit that refused it refuses the check's too
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
      sayMemory();
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
    // The check's deadline, the next child's start and the end of the
    // prompt's delay (a password kept to be sent then) wake the loop too.
    int timeoutMs = pacer.timeoutMs(core_.now());
    const double delayLeft = prompt_.waitLeft();
    for (const double seconds : {auth_.secondsToDeadline(), delayLeft > 0.0 ? delayLeft : INFINITY}) {
      if (!std::isfinite(seconds)) continue;
      const int ms = static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 0.0, 60000.0));
      timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
    }
    const unsigned long polled = auth_.generation();
    std::vector<pollfd> fds{{}, {auth_.fd(), POLLIN, 0}};
    if (!display_.exchange(fds, timeoutMs)) break;
    // Only the child polled is read: a key dispatched meanwhile may have
    // replaced it, and the new one has nothing to read yet.
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && auth_.generation() == polled) handleReply();
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
