#include "lock/password_check.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orbelune {

bool PasswordCheck::start(std::string& error) {
  child_ = AuthChild::spawn(makeVerifier_, error);
  checking_ = false;
  ++generation_;
  return child_ != nullptr;
}

void PasswordCheck::stop() {
  if (child_) child_->kill();
  child_.reset();  // closes its socket (no late reply of it can be read) and reaps it
  checking_ = false;
}

bool PasswordCheck::submit(SecretBuffer& password) {
  if (!child_ || checking_) {
    password.clear();
    return false;
  }
  if (!child_->submit(password)) return false;
  checking_ = true;
  checkSince_ = clock_.now();
  return true;
}

auth_channel::Reply PasswordCheck::receiveReply(std::string* notice) {
  using Reply = auth_channel::Reply;
  if (!child_) return Reply::Fault;
  const Reply reply = child_->receiveReply(notice);
  switch (reply) {
    case Reply::Accepted:
    case Reply::Rejected:
    case Reply::Unchecked:
      if (!checking_) return Reply::Fault;  // a verdict nobody asked for
      checking_ = false;
      failures_ = 0;
      return reply;
    case Reply::Notice:
      if (!checking_) return Reply::Fault;
      // PAM speaks (a fingerprint reader asking for a finger): the check is
      // alive, and its time limit counts from here.
      checkSince_ = clock_.now();
      return reply;
    case Reply::MemoryUnlocked:
    case Reply::Fault:
      return reply;
  }
  return Reply::Fault;
}

bool PasswordCheck::overdue() const { return child_ && checking_ && clock_.now() - checkSince_ >= kCheckSeconds; }

bool PasswordCheck::restart(std::string& error) {
  ++failures_;
  return replace(error);
}

bool PasswordCheck::cancel(std::string& error) { return replace(error); }

bool PasswordCheck::replace(std::string& error) {
  stop();
  retryAt_ = clock_.now();
  if (!waiting() && start(error)) return true;
  if (!waiting()) ++failures_;  // the fork failed: one failure more
  if (waiting()) {
    const int past = std::min(failures_ - kMostRestarts - 1, 16);
    const double wait = std::min(kLongestRetrySeconds, kFirstRetrySeconds * std::ldexp(1.0, past));
    retryAt_ = clock_.now() + wait;
    error = std::to_string(failures_) + " failures in a row; the next try waits up to " +
            std::to_string(static_cast<int>(kLongestRetrySeconds)) + " s";
  }
  return false;
}

bool PasswordCheck::retryIfDue(std::string& error) {
  if (child_ || clock_.now() < retryAt_) return false;
  if (start(error)) return true;
  ++failures_;
  return replace(error);
}

double PasswordCheck::nextDeadline() const {
  if (!child_) return retryAt_;
  if (checking_) return checkSince_ + kCheckSeconds;
  return std::numeric_limits<double>::infinity();
}

}  // namespace orbelune
