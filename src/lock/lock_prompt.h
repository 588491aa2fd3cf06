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
// the password is checked (with what PAM says meanwhile, "touch the key",
// on a line of its own), and "Wrong password" after a refusal, with a delay
// that doubles with each refusal in a row before the next try. Keys typed
// during the delay are kept, and an Enter among them submits when the delay
// ends. Enter submits, Escape clears (and while checking gives the check up,
// which waits like a refusal, so that giving up is never a faster way to try
// passwords), Backspace takes back one character. After some seconds without
// keys the prompt fades out and what was typed is wiped; the figure under it
// goes on. Only an accepted reply unlocks; a check that could not be made
// ("Cannot check the password") waits like a refusal; a fault of the check
// (its process gone) leaves the prompt saying so, locked, until a new check
// process takes over and it asks for the password again.
class LockPrompt {
 public:
  enum class Phase { Hidden, Typing, Checking, Refused, Unavailable, Unlocked };
  // Submit: the typed password is to be checked now (the host hands
  // password() to the check, which wipes it). Cancel: the check under way is
  // to be given up.
  enum class Action { None, Submit, Cancel };

  static constexpr double kShownSeconds = 8.0;
  static constexpr double kFadeSeconds = 1.0;
  static constexpr double kFirstRefusalDelay = 1.0;
  static constexpr double kLongestRefusalDelay = 8.0;

  explicit LockPrompt(const Clock& clock) : clock_(clock) {}

  // A key press.
  Action key(const LockKey& key);
  // The state of Caps Lock, as the keyboard's modifiers say.
  void setCapsLock(bool on) { capsLock_ = on; }
  // The check's answer to the last Submit (a Notice changes nothing here:
  // its text goes to notice()).
  void checked(auth_channel::Reply reply);
  // What PAM says during the check, shown under the dots until the next try.
  void notice(std::string_view text);
  // The check could not be sent (its process is gone).
  void checkLost() { checked(auth_channel::Reply::Fault); }
  // The check's process died with the password (or before it could take
  // one) and another took its place: the prompt asks for the password again,
  // without counting a refusal. `why`, when given, replaces "Type the
  // password again".
  void checkRestarted(std::string why = {});
  // Moves on with the clock: the fade ends in Hidden, wiping what was typed;
  // the end of a delay sends what was submitted during it (Submit).
  Action tick();

  Phase phase() const { return phase_; }
  bool unlocked() const { return phase_ == Phase::Unlocked; }
  SecretBuffer& password() { return password_; }
  std::size_t dots() const { return password_.characters(); }
  bool capsLock() const { return capsLock_; }
  // The prompt's opacity now, 0 (not shown) to 1.
  double opacity() const;
  // The line over the dots: the state, else the caps-lock hint, else empty.
  std::string message() const;
  // The line under the dots: what PAM said during the last try, or empty.
  const std::string& detail() const { return detail_; }
  // Seconds until the refused password's delay ends (0 when none).
  double waitLeft() const;
  // The next time the prompt changes by itself (the fade, the delay's end),
  // for a host that draws only on change; infinity when nothing is pending.
  double nextChange() const;

 private:
  void shown() { lastKey_ = clock_.now(); }
  Action submit();
  // Starts the wait after a try that did not unlock, saying `status`.
  void refuse(std::string status);
  // A key during the delay: kept for the next try.
  void collect(const LockKey& key);

  const Clock& clock_;
  SecretBuffer password_;
  Phase phase_ = Phase::Hidden;
  bool capsLock_ = false;
  bool submitPending_ = false;  // Enter came during the delay
  std::string status_;          // "Wrong password", "Type the password again", …
  std::string detail_;          // PAM's words
  double lastKey_ = 0.0;
  double retryAt_ = 0.0;
  int refusals_ = 0;
};

}  // namespace orbelune
