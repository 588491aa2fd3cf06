#include "host/session_locker.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/number_text.h"
#include "host/host_core.h"

namespace orbelune {
namespace {

// Without a pidfd (a kernel before 5.3), how often to look whether the locker ended.
constexpr int kReapPollMs = 1000;

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

std::string endOf(int status) {
  if (WIFEXITED(status)) return "status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + sigabbrev_np(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace

SessionLocker::SessionLocker(std::string program, std::vector<std::string> argv, double afterSeconds,
                             std::unique_ptr<LockRequests> requests)
    : program_(std::move(program)), argv_(std::move(argv)), afterSeconds_(afterSeconds),
      requests_(std::move(requests)) {}

SessionLocker::~SessionLocker() = default;

void SessionLocker::figureShown(double now) {
  // A showing while a lock is up (under it) locks nothing again.
  if (afterSeconds_ > 0.0 && !running()) shownAt_ = now;
}

void SessionLocker::figureHidden() { shownAt_.reset(); }

void SessionLocker::lock(HostCore& core, const std::string& why) {
  shownAt_.reset();  // this showing has locked, or a lock is up
  relockAt_.reset();
  if (running()) {
    if (locked_) settled();
    return;
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    core.say(std::string("cannot start the locker: ") + std::strerror(errno));
    settled();
    return;
  }
  UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
  // Everything the child needs is made before the fork: between fork and
  // exec it calls only what is safe in a copy of a threaded process.
  std::vector<char*> argv;
  for (auto& a : argv_) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    core.say(std::string("cannot start the locker: ") + std::strerror(errno));
    settled();
    return;
  }
  if (pid == 0) {
    // A session of its own: a terminal's Ctrl-C for the watcher does not
    // reach the lock. A write to a watcher that went must not kill a locker
    // holding the session: SIGPIPE stays ignored across exec.
    setsid();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(writeEnd.get(), STDOUT_FILENO) < 0) _exit(127);
    execv(program_.c_str(), argv.data());
    _exit(127);
  }
  pid_ = pid;
  ++started_;
  core.lockStarted();
  locked_ = false;
  partial_.clear();
  lines_ = std::move(readEnd);
  pidfd_ = UniqueFd(openPidfd(pid));
  core.note("locking the session (" + why + "), process " + std::to_string(pid));
}

void SessionLocker::prepare(std::vector<pollfd>& fds, int& timeoutMs, double now) {
  first_ = fds.size();
  polledPidfd_ = pidfd_.valid();
  polledLines_ = lines_.valid();
  if (polledPidfd_) fds.push_back({pidfd_.get(), POLLIN, 0});
  if (polledLines_) fds.push_back({lines_.get(), POLLIN, 0});
  auto shorten = [&timeoutMs](int ms) {
    if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = ms;
  };
  if (running() && !pidfd_.valid()) shorten(kReapPollMs);
  if (relockAt_ && !running()) {
    const double left = *relockAt_ - now;
    shorten(left <= 0.0 ? 0 : static_cast<int>(std::ceil(left * 1000.0)));
  }
  if (shownAt_ && !running()) {
    const double left = *shownAt_ + afterSeconds_ - now;
    shorten(left <= 0.0 ? 0 : static_cast<int>(std::ceil(left * 1000.0)));
  }
  if (requests_) requests_->prepare(fds, timeoutMs);
}

void SessionLocker::dispatch(std::vector<pollfd>& fds, double now, HostCore& core) {
  std::size_t i = first_;
  const bool ended = polledPidfd_ && i < fds.size() && (fds[i++].revents & POLLIN);
  if (polledLines_ && i < fds.size() && fds[i].revents) readLines(core);
  if (running()) reap(core, ended, now);
  if (relockAt_ && !running() && now >= *relockAt_) lock(core, "the last locker died with the session locked");
  if (requests_) {
    auto asked = requests_->dispatch(fds);
    if (!asked) {
      core.say(asked.error().message + "; the session locks after the figure only");
      requests_.reset();
    } else if (*asked) {
      lock(core, "logind asked");
    }
  }
  if (shownAt_ && !running() && now >= *shownAt_ + afterSeconds_) {
    lock(core, "the figure showed for " + formatShortest(afterSeconds_) + " s");
  }
}

void SessionLocker::readLines(HostCore& core) {
  char buffer[512];
  const ssize_t n = read(lines_.get(), buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    lines_.reset();  // the locker, and whatever it started, closed it
    return;
  }
  partial_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1)) {
    const std::string line = partial_.substr(0, end);
    if (!locked_ && line.size() >= 8 && line.compare(line.size() - 8, 8, ": locked") == 0) {
      locked_ = true;
      settled();
      core.note("the session is locked");
      core.lockIsUp();
    }
  }
  if (partial_.size() > 4096) partial_.clear();  // no line of a locker is that long
}

void SessionLocker::reap(HostCore& core, bool wait, double now) {
  int status = 0;
  const pid_t got = waitpid(pid_, &status, wait ? 0 : WNOHANG);
  if (got == 0 || (got < 0 && errno == EINTR)) return;
  const pid_t pid = pid_;
  pid_ = -1;
  shownAt_.reset();
  pidfd_.reset();
  lines_.reset();
  const bool wasLocked = locked_;
  locked_ = false;
  settled();
  if (got < 0) {
    core.say("the locker (process " + std::to_string(pid) + ") cannot be waited for: " + std::strerror(errno));
    return;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    relockDelay_ = kFirstRelockSeconds;
    core.note("the locker (process " + std::to_string(pid) + ") ended: unlocked");
  } else if (wasLocked && WIFSIGNALED(status)) {
    // A crash (or the OOM killer) leaves the compositor's lock up with
    // nothing to unlock it but a new locker: one follows, as a user at a
    // text console would start it.
    relockAt_ = now + relockDelay_;
    core.say("the locker (process " + std::to_string(pid) + ") ended with " + endOf(status) +
             "; the session stays locked, and a new locker starts in " + formatShortest(relockDelay_) + " s");
    relockDelay_ = std::min(2.0 * relockDelay_, kLongestRelockSeconds);
  } else {
    core.say("the locker (process " + std::to_string(pid) + ") ended with " + endOf(status) +
             (wasLocked ? "; the session stays locked until a locker unlocks it" : ""));
  }
}

void SessionLocker::settled() {
  if (requests_) requests_->lockSettled();
}

}  // namespace orbelune
