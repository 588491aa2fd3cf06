#pragma once
#include <memory>
#include <string>

#include "contracts/clock.h"
#include "lock/auth_child.h"

namespace orbelune {

// The locker's password check over its life: one authentication child
// (auth_child.h) at a time, and a new one in the place of one that failed
// (died, hung past kCheckSeconds, or sent what no child sends), so that a
// check process killed, crashed or stuck does not leave a lock nobody can
// open. Failures in a row are replaced at once up to kMostRestarts; past
// that, each new child waits a growing while (kFirstRetrySeconds doubling up
// to kLongestRetrySeconds), so that a check that cannot live (a PAM module
// failing the same way on every try) costs no loop of forks, and the lock
// opens again once the fault clears. A child's answer ends the run of
// failures. Nothing here ever unlocks but an Accepted verdict on a password
// sent to the child that answers.
class PasswordCheck {
 public:
  static constexpr int kMostRestarts = 5;
  // From the password sent or PAM's last message; longer than the 30 s a
  // fingerprint reader waits for a finger before PAM goes on to the password.
  static constexpr double kCheckSeconds = 45.0;
  static constexpr double kFirstRetrySeconds = 1.0;
  static constexpr double kLongestRetrySeconds = 60.0;

  PasswordCheck(AuthChild::MakeVerifier makeVerifier, const Clock& clock)
      : makeVerifier_(std::move(makeVerifier)), clock_(clock) {}

  // Starts the first child; false with `error` set when it cannot be.
  bool start(std::string& error);
  // Whether a child runs (none while waiting to try again).
  bool running() const { return child_ != nullptr; }
  // The descriptor to poll for the reply, -1 when no child runs.
  int fd() const { return child_ ? child_->fd() : -1; }
  pid_t pid() const { return child_ ? child_->pid() : -1; }
  // Whether a password was sent and its verdict is awaited.
  bool checking() const { return checking_; }
  // Sends the password (wiping it); false when no child took it.
  bool submit(SecretBuffer& password);
  // The next message once fd() is readable: a verdict on the password sent
  // (which ends the run of failures), a Notice with PAM's text in `notice`,
  // MemoryUnlocked (a new child's memory could not be locked), or Fault when the child is gone or sent anything unasked for (a verdict
  // while none is awaited included): then call restart().
  auth_channel::Reply receiveReply(std::string* notice = nullptr);
  // Whether the awaited verdict is later than kCheckSeconds: then call
  // restart().
  bool overdue() const;
  // After a failure: the old child killed and reaped, and, counted as one
  // failure more, a new one started, unless the run of failures waits first
  // or the fork failed (`error` then says why). True when a child runs again.
  bool restart(std::string& error);
  // The user gave up the check: its child killed and a new one started at
  // once, counting no failure. True when a child runs again.
  bool cancel(std::string& error);
  // With no child, once its wait ended: starts one. True when one runs again.
  bool retryIfDue(std::string& error);
  // Whether the failures in a row went past kMostRestarts, so that new
  // children come after growing waits.
  bool waiting() const { return failures_ > kMostRestarts; }
  int failuresInARow() const { return failures_; }
  // When something is due without a message: the awaited verdict's
  // deadline, or the next child's start; infinity when neither.
  double nextDeadline() const;
  double secondsToDeadline() const { return nextDeadline() - clock_.now(); }
  // Counts the children started: a host that polled fd() knows by it
  // whether the child it polled is still the one running (a key handled
  // meanwhile may have replaced it, and a read on the new one would wait).
  unsigned long generation() const { return generation_; }

 private:
  bool replace(std::string& error);
  void stop();

  AuthChild::MakeVerifier makeVerifier_;
  const Clock& clock_;
  std::unique_ptr<AuthChild> child_;
  bool checking_ = false;
  double checkSince_ = 0.0;
  int failures_ = 0;
  unsigned long generation_ = 0;
  double retryAt_ = 0.0;
};

}  // namespace orbelune
