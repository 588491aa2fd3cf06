#pragma once
// What every host of the saver does the same way, whatever shows the figure:
// the session and its store, frame pacing at the views' interval, when input
// ends the figure, the idle cycle of `orbelune idle`, how a run ends, and the
// lines the user reads. A window system supplies surfaces, its events
// translated into HostEvents, and a descriptor to wait on with the pacer's
// timeout.
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "base/result.h"
#include "contracts/clock.h"
#include "host/frame_pacer.h"
#include "host/host_event.h"
#include "host/idle_cycle.h"
#include "host/input_rules.h"
#include "host/session_locker.h"
#include "session/saver_session.h"

namespace orbelune {

class HostCore {
 public:
  // `name` starts every line said ("orbelune", "orbelune idle"). The session
  // reads the settings from the saver's store; its views' time is `viewClock`
  // (a test's virtual one), else the monotonic clock.
  // A host that may not write (inside a lock screen) opens the store with
  // `access` ReadOnly.
  HostCore(std::string name, const SessionOptions& options, InputRules::Mode mode, std::ostream& err,
           std::shared_ptr<Clock> viewClock = nullptr,
           ScreenSaverDefaults::Access access = ScreenSaverDefaults::Access::ReadWrite);

  SaverSession& session() { return session_; }
  double now() const { return clock_.now(); }
  FramePacer& pacer() { return pacer_; }

  // A started view for a surface, with what the store found wrong said; the
  // pacer follows the views' interval. Or why there is none.
  Result<std::unique_ptr<SessionView>> makeView(Size size, bool isPreview, double hostScale);

  // The settings file as it is now when it changed since it was read, with
  // what the store found wrong said; a host restarts its views with them.
  std::optional<Settings> changedSettings();

  // The user's input: ends the run, or while watching idleness the showing.
  void input(const HostEvent& event);
  // A frame reached the screen, covering `monitors`: input counts from the
  // first, and the first of a showing says so (--verbose).
  void frameOnScreen(std::size_t monitors);

  // From now on the figure comes and goes with the session's idleness, and
  // `out` (when given) hears of each show and hide.
  void watchIdle(IdleSource& source, std::ostream* out);
  bool watchesIdle() const { return cycle_.has_value(); }
  // Whether surfaces should show now: always, or while the session is idle.
  bool showing() const { return !cycle_ || cycle_->state() == IdleCycle::State::Shown; }
  // The idle cycle's next step; `closed`: a surface of the figure went.
  IdleCycle::Step idleStep(bool closed);

  // While watching idleness, `locker` locks the session a while after the
  // figure showed, or when asked; the host waits on its descriptors beside
  // the idle source's (prepareLock) and lets it handle what came (dispatchLock).
  // `hideAtStart`: the figure goes as the locker starts rather than once its
  // lock is up (X11's figure holds the grab its lockers need).
  void lockAfterIdle(SessionLocker& locker, bool hideAtStart = false) {
    locker_ = &locker;
    hideAtStart_ = hideAtStart;
  }
  void prepareLock(std::vector<pollfd>& fds, int& timeoutMs);
  void dispatchLock(std::vector<pollfd>& fds);
  // The locker's lock is up: it draws the figure itself, so a showing ends
  // under it (the next idle step hides it) and shows again after the next idle time.
  void lockIsUp();
  // The locker started.
  void lockStarted() {
    if (hideAtStart_) lockIsUp();
  }

  // How the run ends: asked to (status 0), or failing, with the reason said.
  void end(int status = 0);
  void fail(const std::string& message);
  void fail(const Error& error) { fail(error.message); }
  // The connection to `server` ("the X server", "the Wayland compositor")
  // failed; `why`, when known, is said with it.
  static Error connectionLost(const std::string& server, const std::string& why = {});
  void lostConnection(const std::string& server, const std::string& why = {}) { fail(connectionLost(server, why)); }
  // A line of this host's own, after its name: "orbelune: <message>".
  void say(const std::string& message);
  // A line for --verbose, to the watcher's `out` when it has one.
  void note(const std::string& message);
  bool ended() const { return ended_; }
  int status() const { return status_; }
  // For the lines only this host says.
  std::ostream& err() { return err_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::ostream& err_;
  std::ostream* out_ = nullptr;
  MonotonicClock clock_;
  SaverSession session_;
  FramePacer pacer_;
  InputRules rules_;
  std::optional<IdleCycle> cycle_;
  bool inputEnded_ = false;   // input ended the showing since the last idle step
  bool announced_ = false;    // the showing's first frame was said
  bool underLock_ = false;    // the lock ended the showing since the last idle step
  SessionLocker* locker_ = nullptr;
  bool hideAtStart_ = false;
  bool ended_ = false;
  int status_ = 0;
};

}  // namespace orbelune
