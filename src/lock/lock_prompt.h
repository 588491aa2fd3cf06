#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "contracts/clock.h"
#include "lock/auth_channel.h"
#include "lock/secret_buffer.h"

namespace orbelune {

// One key as the lock host hands it over: a typed character (its UTF-8
// text), or one of the keys the prompt acts on.
struct LockKey {
  enum class Kind { Character, Backspace, Enter, Escape, Other };
  Kind kind = Kind::Other;
  std::string_view text;

  static LockKey character(std::string_view utf8) { return {Kind::Character, utf8}; }
  static LockKey of(Kind kind) { return {kind, {}}; }
};

// What the password prompt over the locked figure shows and holds, on a
// clock the host (or a test) drives. Hidden until the first key; then the
// typed characters as dots, a hint while Caps Lock is on, "Checking…" while
// the password is checked, and "Wrong password" after a refusal, with a
// delay that doubles with each refusal in a row before the next try. Enter
// submits, Escape clears, Backspace takes back one character. After some
// seconds without keys the prompt fades out and what was typed is wiped;
// the figure under it goes on. Only an accepted reply unlocks; a fault of
// the check (its process gone) leaves the prompt saying so, locked, or, when
// a new check process took over, asking for the password again.
class LockPrompt {
 public:
  enum class Phase { Hidden, Typing, Checking, Refused, Unavailable, Unlocked };
  enum class Action { None, Submit };

  static constexpr double kShownSeconds = 8.0;
  static constexpr double kFadeSeconds = 1.0;
  static constexpr double kFirstRefusalDelay = 1.0;
  static constexpr double kLongestRefusalDelay = 8.0;

  explicit LockPrompt(const Clock& clock) : clock_(clock) {}

  // A key press; Submit when the typed password is to be checked now (the
  // host hands password() to the check, which wipes it).
  Action key(const LockKey& key);
  // The state of Caps Lock, as the keyboard's modifiers say.
  void setCapsLock(bool on) { capsLock_ = on; }
  // The check's answer to the last Submit.
  void checked(auth_channel::Reply reply);
  // The check could not be sent (its process is gone).
  void checkLost() { checked(auth_channel::Reply::Fault); }
  // The check's process died with the password and another took its place:
  // the prompt asks for the password again, without counting a refusal.
  void checkRestarted();
  // Moves on with the clock: the fade ends in Hidden, wiping what was typed.
  void tick();

  Phase phase() const { return phase_; }
  bool unlocked() const { return phase_ == Phase::Unlocked; }
  SecretBuffer& password() { return password_; }
  std::size_t dots() const { return password_.characters(); }
  bool capsLock() const { return capsLock_; }
  // The prompt's opacity now, 0 (not shown) to 1.
  double opacity() const;
  // The line under the dots: the state, else the caps-lock hint, else empty.
  std::string message() const;
  // Seconds until the refused password's delay ends (0 when none).
  double waitLeft() const;
  // The next time the prompt changes by itself (the fade, the delay's end),
  // for a host that draws only on change; infinity when nothing is pending.
  double nextChange() const;

 private:
  void shown() { lastKey_ = clock_.now(); }

  const Clock& clock_;
  SecretBuffer password_;
  Phase phase_ = Phase::Hidden;
  bool capsLock_ = false;
  bool refusedShown_ = false;
  bool againShown_ = false;  // "Type the password again" after a restarted check
  double lastKey_ = 0.0;
  double retryAt_ = 0.0;
  int refusals_ = 0;
};

}  // namespace orbelune
