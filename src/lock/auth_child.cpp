#include "lock/auth_child.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orbelune {

namespace {

// The child's whole life: every descriptor but its socket closed, then one
// reply per request until the locker's end closes. It leaves with _exit, so
// nothing of the parent's state (atexit handlers, buffered output, objects
// the fork copied) runs in it.
[[noreturn]] void runChild(int fd, const AuthChild::MakeVerifier& makeVerifier) {
  constexpr int kChannel = 3;
  // dup2 clears close-on-exec: set again, so that no program a PAM module
  // starts keeps the socket (and with it the locker's view of this child) open.
  if (fd != kChannel) {
    if (dup2(fd, kChannel) < 0 || fcntl(kChannel, F_SETFD, FD_CLOEXEC) != 0) _exit(1);
  }
  close_range(kChannel + 1, ~0U, 0);
  // Dies with the locker even if the socket were somehow kept open.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) _exit(1);
  std::unique_ptr<Verifier> verifier = makeVerifier();
  if (!verifier) _exit(1);
  SecretBuffer password;
  while (auth_channel::receiveRequest(kChannel, password)) {
    const bool accepted = verifier->verify(password);
    password.clear();
    if (!auth_channel::sendReply(kChannel, accepted)) _exit(1);
  }
  _exit(0);
}

}  // namespace

std::unique_ptr<AuthChild> AuthChild::spawn(const MakeVerifier& makeVerifier, std::string& error) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    error = std::string("cannot make the authentication socket: ") + strerror(errno);
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start the authentication process: ") + strerror(errno);
    close(ends[0]);
    close(ends[1]);
    return nullptr;
  }
  if (pid == 0) {
    close(ends[0]);
    // The child's end keeps close-on-exec through runChild's dup2.
    runChild(ends[1], makeVerifier);
  }
  close(ends[1]);
  return std::unique_ptr<AuthChild>(new AuthChild(ends[0], pid));
}

AuthChild::~AuthChild() {
  close(fd_);
  // The child exits on the closed socket; a child stuck in a PAM module is
  // not waited for.
  int status = 0;
  for (int tries = 0; tries < 50; ++tries) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) return;
    usleep(2000);
  }
  kill(pid_, SIGKILL);
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

bool AuthChild::submit(SecretBuffer& password) { return auth_channel::sendRequest(fd_, password); }

auth_channel::Reply AuthChild::receiveReply() { return auth_channel::receiveReply(fd_); }

}  // namespace orbelune
