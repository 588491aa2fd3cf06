#include "lock/lock_prompt.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orbelune {

LockPrompt::Action LockPrompt::key(const LockKey& key) {
  switch (phase_) {
    case Phase::Unlocked:
    case Phase::Checking:
      return Action::None;
    case Phase::Unavailable:
      shown();
      return Action::None;
    case Phase::Refused:
      shown();
      // Keys during the delay are dropped, so that none is taken for the
      // start of the next password.
      if (waitLeft() > 0.0) return Action::None;
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
      refusedShown_ = false;
      againShown_ = false;
      password_.append(key.text);
      return Action::None;
    case LockKey::Kind::Backspace:
      password_.eraseLast();
      return Action::None;
    case LockKey::Kind::Escape:
      refusedShown_ = false;
      againShown_ = false;
      password_.clear();
      return Action::None;
    case LockKey::Kind::Enter:
      if (password_.empty()) return Action::None;
      phase_ = Phase::Checking;
      return Action::Submit;
    case LockKey::Kind::Other:
      return Action::None;
  }
  return Action::None;
}

void LockPrompt::checked(auth_channel::Reply reply) {
  password_.clear();
  if (phase_ == Phase::Unlocked) return;
  shown();
  switch (reply) {
    case auth_channel::Reply::Accepted:
      // Only an answer to a password sent counts.
      if (phase_ == Phase::Checking) phase_ = Phase::Unlocked;
      return;
    case auth_channel::Reply::Rejected: {
      ++refusals_;
      const double delay =
          std::min(kLongestRefusalDelay, kFirstRefusalDelay * std::ldexp(1.0, std::min(refusals_ - 1, 16)));
      retryAt_ = clock_.now() + delay;
      phase_ = Phase::Refused;
      refusedShown_ = true;
      return;
    }
    case auth_channel::Reply::Fault:
      phase_ = Phase::Unavailable;
      return;
  }
}

void LockPrompt::checkRestarted() {
  password_.clear();
  if (phase_ == Phase::Unlocked) return;
  shown();
  phase_ = Phase::Typing;
  refusedShown_ = false;
  againShown_ = true;
}

void LockPrompt::tick() {
  if ((phase_ == Phase::Typing || phase_ == Phase::Refused) && opacity() <= 0.0 && waitLeft() <= 0.0) {
    password_.clear();
    refusedShown_ = false;
    againShown_ = false;
    phase_ = Phase::Hidden;
  }
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
      if (refusedShown_) return "Wrong password";
      if (againShown_) return "Type the password again";
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
