#pragma once
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "lock/auth_channel.h"
#include "lock/verifier.h"

namespace orbelune {

// The password check in a process of its own, as swaylock keeps it: the
// locker forks the child before it connects to anything, so the child holds
// nothing of the display, and whatever PAM's modules do (or how they fail)
// stays away from the drawing. The child makes its Verifier after the fork,
// answers one verdict per request (after any notices of PAM's), and exits
// when the locker closes its end (or dies). Nothing of a password travels but over the socket pair.
class AuthChild {
 public:
  using MakeVerifier = std::function<std::unique_ptr<Verifier>()>;

  // Forks the child; null with `error` set when the socket pair or the fork
  // fails. The child locks its memory (mlockall) where the limits let it,
  // and sends MemoryUnlocked first when they do not.
  static std::unique_ptr<AuthChild> spawn(const MakeVerifier& makeVerifier, std::string& error);
  // Closes the locker's end and reaps the child, killing it if it does not
  // end at once; the wait is bounded.
  ~AuthChild();
  AuthChild(const AuthChild&) = delete;
  AuthChild& operator=(const AuthChild&) = delete;

  // The descriptor a host polls: readable when a reply (or the child's end)
  // has come.
  int fd() const { return fd_; }
  pid_t pid() const { return pid_; }
  // Sends the password for checking and wipes it; false when the child is
  // gone (the caller then reports it and stays locked).
  bool submit(SecretBuffer& password);
  // Reads the next message once fd() is readable: the verdict on the last
  // request, a Notice (its text in `notice`), or MemoryUnlocked. Fault when the child died,
  // closed, or sent anything else: never Accepted.
  auth_channel::Reply receiveReply(std::string* notice = nullptr);
  // Kills the child at once (SIGKILL): a check it is making is given up.
  void kill();

 private:
  AuthChild(int fd, pid_t pid) : fd_(fd), pid_(pid) {}
  int fd_;
  pid_t pid_;
};

}  // namespace orbelune
