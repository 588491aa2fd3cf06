#pragma once
// The lock that `orbelune idle` starts: a locker program run as a child
// process with arguments only (nothing passes to it but its argv, and no
// password ever reaches the watcher), at most one at a time, reaped when it
// ends, its end said in the host core's lines; one that dies by a signal
// with the session locked is followed by a new one (after a wait that grows
// while they keep dying). It locks once the figure has
// shown for the chosen time, and whenever the requests beside it (logind's
// Lock signal, the coming sleep) ask to.
#include <poll.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/unique_fd.h"

namespace orbelune {

class HostCore;

// Where the session is asked to lock besides the watcher's own time.
class LockRequests {
 public:
  virtual ~LockRequests() = default;
  // Adds what to wait on; may shorten `timeoutMs` (-1: no limit).
  virtual void prepare(std::vector<pollfd>& fds, int& timeoutMs) = 0;
  // Handles what the wait brought: whether the session should lock now; or
  // why no more requests come (the bus gone).
  virtual Result<bool> dispatch(std::vector<pollfd>& fds) = 0;
  // The lock is up, or the locker ended without it: a sleep held back for
  // the lock may go on.
  virtual void lockSettled() = 0;
};

class SessionLocker {
 public:
  // After a locker died with the session locked, the wait before the next
  // one, doubling for each that dies in a row up to the longest (a locker
  // that cannot live costs no loop of forks); a locker that unlocks resets it.
  static constexpr double kFirstRelockSeconds = 1.0;
  static constexpr double kLongestRelockSeconds = 30.0;
  // `program` (a path) runs with `argv` (its name first) and says a line
  // ending in ": locked" on its standard output once the session is locked,
  // as `orbelune lock --verbose` does. `afterSeconds`: how long the figure
  // shows before the session locks; 0: only when the requests ask.
  SessionLocker(std::string program, std::vector<std::string> argv, double afterSeconds,
                std::unique_ptr<LockRequests> requests = nullptr);
  // A locker still running goes on (the session stays locked until the user
  // unlocks it); only its line pipe closes, which it ignores.
  ~SessionLocker();
  SessionLocker(const SessionLocker&) = delete;
  SessionLocker& operator=(const SessionLocker&) = delete;

  double afterSeconds() const { return afterSeconds_; }

  // The idle figure showed at `now`, or went.
  void figureShown(double now);
  void figureHidden();

  // Starts the locker, unless one runs already; `why` is said with --verbose.
  void lock(HostCore& core, const std::string& why);

  // Adds the locker's descriptors and the requests' to wait on, and shortens
  // `timeoutMs` to when the figure has shown long enough.
  void prepare(std::vector<pollfd>& fds, int& timeoutMs, double now);
  // Reads the locker's lines, reaps it when it ended, locks when the figure
  // has shown long enough or a request asks.
  void dispatch(std::vector<pollfd>& fds, double now, HostCore& core);

  bool running() const { return pid_ > 0; }
  // The running locker said the session is locked.
  bool locked() const { return locked_; }
  // How many lockers this watcher started.
  int started() const { return started_; }

 private:
  void readLines(HostCore& core);
  void reap(HostCore& core, bool wait, double now);
  void settled();

  std::string program_;
  std::vector<std::string> argv_;
  double afterSeconds_;
  std::unique_ptr<LockRequests> requests_;
  std::optional<double> shownAt_;  // while the figure shows and has not locked yet
  std::optional<double> relockAt_; // when the next locker starts, after one died with the session locked
  double relockDelay_ = kFirstRelockSeconds;  // the wait before it
  pid_t pid_ = -1;
  UniqueFd pidfd_;   // readable once the locker ended
  UniqueFd lines_;   // the locker's standard output
  std::string partial_;
  bool locked_ = false;
  int started_ = 0;
  std::size_t first_ = 0;  // where this locker's descriptors start in the host's poll set
  bool polledPidfd_ = false, polledLines_ = false;
};

}  // namespace orbelune
