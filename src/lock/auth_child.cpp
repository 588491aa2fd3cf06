#include "lock/auth_child.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orbelune {

namespace {

// Signals as a new process has them: the locker's handlers (the
// termination flag) mean nothing here, and a mask it blocked would keep the
// child from ending. A broken pipe is ignored: a PAM module writing to a
// helper that went away (pam_exec's standard input) gets EPIPE rather than
// killing the check; the channel's own sends never raise it (MSG_NOSIGNAL).
void resetSignals() {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &standard, nullptr);
  struct sigaction ignored = standard;
  ignored.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignored, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Keeps PAM's copies of the password (its conversation's answer, the
// authentication token it stores) out of swap. Future pages are locked only
// where the limit allows any amount: under a limit, a module loaded later
// would fail to map and every check with it (root too, where a container
// took CAP_IPC_LOCK away). Pages are locked as they are touched
// (MCL_ONFAULT), never all at once.
bool lockChildMemory() {
  rlimit limit{};
  const bool unlimited = getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY;
  const int flags = MCL_CURRENT | MCL_ONFAULT | (unlimited ? MCL_FUTURE : 0);
  return mlockall(flags) == 0;
}

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
  resetSignals();
  // Dies with the locker even if the socket were somehow kept open.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) _exit(1);
  // Refused by the limit: the locker says so (once for all its children).
  if (!lockChildMemory() && !auth_channel::sendReply(kChannel, auth_channel::Reply::MemoryUnlocked)) _exit(1);
  std::unique_ptr<Verifier> verifier = makeVerifier();
  if (!verifier) _exit(1);
  const Verifier::Notice notice = [](std::string_view text) { auth_channel::sendNotice(kChannel, text); };
  SecretBuffer password;
  while (auth_channel::receiveRequest(kChannel, password)) {
    const Verifier::Verdict verdict = verifier->verify(password, notice);
    password.clear();
    const auth_channel::Reply reply = verdict == Verifier::Verdict::Accepted   ? auth_channel::Reply::Accepted
                                      : verdict == Verifier::Verdict::Rejected ? auth_channel::Reply::Rejected
                                                                               : auth_channel::Reply::Unchecked;
    if (!auth_channel::sendReply(kChannel, reply)) _exit(1);
  }
  _exit(0);
}

// Reaps the child if it ends within `ms` milliseconds.
bool reapWithin(pid_t pid, int ms) {
  int status = 0;
  for (int waited = 0; waited <= ms; waited += 2) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    usleep(2000);
  }
  return false;
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
  // An idle child exits on the closed socket; one busy in a PAM module is
  // killed. The wait stays bounded even then: a process stuck where no
  // signal reaches it (a file system out of reach) is left unreaped rather
  // than hanging the locker.
  if (reapWithin(pid_, 100)) return;
  ::kill(pid_, SIGKILL);
  reapWithin(pid_, 1000);
}

void AuthChild::kill() { ::kill(pid_, SIGKILL); }

bool AuthChild::submit(SecretBuffer& password) { return auth_channel::sendRequest(fd_, password); }

auth_channel::Reply AuthChild::receiveReply(std::string* notice) { return auth_channel::receiveReply(fd_, notice); }

}  // namespace orbelune
