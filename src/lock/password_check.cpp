#include "lock/password_check.h"

namespace orbelune {

bool PasswordCheck::start(std::string& error) {
  child_ = AuthChild::spawn(makeVerifier_, error);
  return child_ != nullptr;
}

bool PasswordCheck::submit(SecretBuffer& password) {
  if (!child_) {
    password.clear();
    return false;
  }
  return child_->submit(password);
}

auth_channel::Reply PasswordCheck::receiveReply() {
  return child_ ? child_->receiveReply() : auth_channel::Reply::Fault;
}

bool PasswordCheck::restart(std::string& error) {
  child_.reset();  // reaps the child, killing it if it hangs on
  if (restarts_ >= kMostRestarts) {
    error = "it was restarted " + std::to_string(kMostRestarts) + " times already";
    return false;
  }
  ++restarts_;
  return start(error);
}

}  // namespace orbelune
