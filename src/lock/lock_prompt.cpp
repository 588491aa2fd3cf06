#include "lock/lock_prompt.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/printable_text.h"

namespace orbelune {

LockPrompt::Action LockPrompt::key(const LockKey& key) {
  switch (phase_) {
    case Phase::Unlocked:
      return Action::None;
    case Phase::Checking:
      // Other keys while checking change nothing: the password is gone to
      // the check, and a key is not to start the next one unseen.
      if (key.kind != LockKey::Kind::Escape) return Action::None;
      shown();
      password_.clear();
      refuse("Cancelled");
      return Action::Cancel;
    case Phase::Unavailable:
      shown();
      return Action::None;
    case Phase::Refused:
      shown();
      if (waitLeft() > 0.0) {
        collect(key);
        return Action::None;
      }
      phase_ = Phase::Typing;
      break;
    case Phase::Hidden:
      phase_ = Phase::Typing;
      break;
    case Phase::Typing:
      break;
  }
  shown();
  switch (key.kind) {
    case LockKey::Kind::Character:
      status_.clear();
      password_.append(key.text);
      return Action::None;
    case LockKey::Kind::Backspace:
      password_.eraseLast();
      return Action::None;
    case LockKey::Kind::Escape:
      status_.clear();
      password_.clear();
      return Action::None;
    case LockKey::Kind::Enter:
      if (password_.empty()) return Action::None;
      return submit();
    case LockKey::Kind::Other:
      return Action::None;
  }
  return Action::None;
}

void LockPrompt::collect(const LockKey& key) {
  // After an Enter, what comes is not part of the password it sends.
  if (submitPending_ && key.kind != LockKey::Kind::Escape) return;
  switch (key.kind) {
    case LockKey::Kind::Character:
      password_.append(key.text);
      return;
    case LockKey::Kind::Backspace:
      password_.eraseLast();
      return;
    case LockKey::Kind::Escape:
      password_.clear();
      submitPending_ = false;
      return;
    case LockKey::Kind::Enter:
      submitPending_ = !password_.empty();
      return;
    case LockKey::Kind::Other:
      return;
  }
}

LockPrompt::Action LockPrompt::submit() {
  phase_ = Phase::Checking;
  submitPending_ = false;
  status_.clear();
  detail_.clear();
  return Action::Submit;
}

void LockPrompt::refuse(std::string status) {
  ++refusals_;
  const double delay =
      std::min(kLongestRefusalDelay, kFirstRefusalDelay * std::ldexp(1.0, std::min(refusals_ - 1, 16)));
  retryAt_ = clock_.now() + delay;
  phase_ = Phase::Refused;
  submitPending_ = false;
  status_ = std::move(status);
}

void LockPrompt::checked(auth_channel::Reply reply) {
  if (reply == auth_channel::Reply::Notice || reply == auth_channel::Reply::MemoryUnlocked) return;
  password_.clear();
  if (phase_ == Phase::Unlocked) return;
  shown();
  switch (reply) {
    case auth_channel::Reply::Accepted:
      // Only an answer to a password sent counts.
      if (phase_ == Phase::Checking) phase_ = Phase::Unlocked;
      return;
    case auth_channel::Reply::Rejected:
      refuse("Wrong password");
      return;
    case auth_channel::Reply::Unchecked:
      // Not the password's fault, yet it waits as a refusal does: a check
      // made to fail is no faster way to try passwords.
      refuse("Cannot check the password");
      return;
    case auth_channel::Reply::Notice:
    case auth_channel::Reply::MemoryUnlocked:
      return;
    case auth_channel::Reply::Fault:
      phase_ = Phase::Unavailable;
      submitPending_ = false;
      return;
  }
}

void LockPrompt::notice(std::string_view text) {
  if (phase_ != Phase::Checking) return;
  // One line on the lock screen: PAM's line breaks and tabs become spaces,
  // any other control character or broken UTF-8 is shown escaped.
  std::string line(text);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
  detail_ = printable(line);
}

void LockPrompt::checkRestarted(std::string why) {
  password_.clear();
  if (phase_ == Phase::Unlocked) return;
  shown();
  phase_ = Phase::Typing;
  submitPending_ = false;
  status_ = why.empty() ? "Type the password again" : std::move(why);
}

LockPrompt::Action LockPrompt::tick() {
  if (phase_ == Phase::Refused && submitPending_ && waitLeft() <= 0.0) {
    shown();
    return submit();
  }
  if ((phase_ == Phase::Typing || phase_ == Phase::Refused) && opacity() <= 0.0 && waitLeft() <= 0.0) {
    password_.clear();
    status_.clear();
    detail_.clear();
    phase_ = Phase::Hidden;
  }
  return Action::None;
}

double LockPrompt::opacity() const {
  switch (phase_) {
    case Phase::Hidden:
    case Phase::Unlocked:
      return 0.0;
    case Phase::Checking:
    case Phase::Unavailable:
      return 1.0;
    case Phase::Typing:
    case Phase::Refused:
      break;
  }
  if (waitLeft() > 0.0) return 1.0;
  const double quiet = clock_.now() - std::max(lastKey_, retryAt_);
  if (quiet < kShownSeconds) return 1.0;
  return std::clamp(1.0 - (quiet - kShownSeconds) / kFadeSeconds, 0.0, 1.0);
}

std::string LockPrompt::message() const {
  switch (phase_) {
    case Phase::Checking:
      return "Checking\u2026";
    case Phase::Unavailable:
      return "Passwords cannot be checked: the session stays locked";
    case Phase::Refused:
    case Phase::Typing:
      if (!status_.empty()) return status_;
      break;
    case Phase::Hidden:
    case Phase::Unlocked:
      return {};
  }
  return capsLock_ ? "Caps Lock is on" : std::string{};
}

double LockPrompt::waitLeft() const {
  if (phase_ != Phase::Refused) return 0.0;
  return std::max(0.0, retryAt_ - clock_.now());
}

double LockPrompt::nextChange() const {
  const double never = std::numeric_limits<double>::infinity();
  if (phase_ != Phase::Typing && phase_ != Phase::Refused) return never;
  const double now = clock_.now();
  if (waitLeft() > 0.0) return retryAt_;
  const double fadeStart = std::max(lastKey_, retryAt_) + kShownSeconds;
  if (now < fadeStart) return fadeStart;
  if (now < fadeStart + kFadeSeconds) return now;  // fading: every frame
  return never;
}

}  // namespace orbelune
