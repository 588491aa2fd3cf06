#pragma once
#include <memory>
#include <string>

#include "lock/auth_child.h"

namespace orbelune {

// The locker's password check over its life: one authentication child
// (auth_child.h) at a time, and a new one in the place of one that died, so
// that a check process killed or crashed does not leave a lock nobody can
// open. The restarts are bounded: a check that cannot live (a PAM module
// failing the same way on every try) ends, after kMostRestarts, in a lock
// that says passwords cannot be checked, never in a loop of forks, and never
// in an unlock.
class PasswordCheck {
 public:
  static constexpr int kMostRestarts = 5;

  explicit PasswordCheck(AuthChild::MakeVerifier makeVerifier) : makeVerifier_(std::move(makeVerifier)) {}

  // Starts the first child; false with `error` set when it cannot be.
  bool start(std::string& error);
  // Whether a child runs (none after the restarts ran out).
  bool running() const { return child_ != nullptr; }
  // The descriptor to poll for the reply, -1 when no child runs.
  int fd() const { return child_ ? child_->fd() : -1; }
  pid_t pid() const { return child_ ? child_->pid() : -1; }
  // Sends the password (wiping it); false when no child took it.
  bool submit(SecretBuffer& password);
  // The reply once fd() is readable; Fault when the child is gone.
  auth_channel::Reply receiveReply();
  // After a fault: the old child reaped and a new one started, unless the
  // restarts ran out or the fork failed (`error` then says why). True when a
  // child runs again.
  bool restart(std::string& error);
  int restarts() const { return restarts_; }

 private:
  AuthChild::MakeVerifier makeVerifier_;
  std::unique_ptr<AuthChild> child_;
  int restarts_ = 0;
};

}  // namespace orbelune
