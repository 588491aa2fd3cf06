#pragma once
// The X server's idle time (MIT-SCREEN-SAVER) as an idle source.
//
// Does: looks at the server's idle time as often as it could reach the chosen
// time (every 5 s at the most), and while the figure shows four times a second
// unless the host holds the keyboard and pointer: the server's idle time drops
// on any input, also input another client's grab takes, which the host would
// not see. Steps aside (ending the run with a line) when XScreenSaver's daemon
// starts on the display.
// Does not: inhibit or reset the server's own screen saver and DPMS.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <memory>
#include <ostream>

#include "base/result.h"
#include "contracts/clock.h"
#include "host/host_core.h"
#include "host/idle_source.h"

namespace orbelune {

// Whether XScreenSaver's daemon runs on the display: its window, a child of
// the root (the root itself in old versions), carries _SCREENSAVER_VERSION.
bool xscreensaverRuns(Display* display);

class ServerIdleSource final : public IdleSource {
 public:
  // A source for `afterSeconds` of idleness, or why the server offers none.
  static Result<std::unique_ptr<ServerIdleSource>> open(Display* display, double afterSeconds, HostCore& core,
                                                        std::ostream& out);
  ~ServerIdleSource() override;

  void prepare(std::vector<pollfd>& fds, int& timeoutMs) override;
  Result<void> dispatch(std::vector<pollfd>& fds) override;
  bool idle() const override;
  void shown() override;
  void hidden() override;
  // While shown: the host holds the grabs and sees every input itself, so a
  // drop of the server's idle time (a trembling mouse) ends nothing.
  void hostSeesInput(bool sees) { hostSeesInput_ = sees; }

 private:
  ServerIdleSource(Display* display, XScreenSaverInfo* info, double afterSeconds, HostCore& core, std::ostream& out);
  double nextLookIn() const;

  Display* display_;
  XScreenSaverInfo* info_;
  double afterSeconds_;
  HostCore& core_;
  std::ostream& out_;
  MonotonicClock clock_;
  double idleSeconds_ = 0.0;  // at the last look
  double nextLook_ = 0.0;
  bool shown_ = false;
  bool hostSeesInput_ = false;
};

}  // namespace orbelune
