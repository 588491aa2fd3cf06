#pragma once
#include <poll.h>

#include <vector>

#include "base/result.h"

namespace orbelune {

// Where a host learns that the session went idle: the X server's
// MIT-SCREEN-SAVER, the compositor's ext-idle-notify-v1 or KDE's idle
// protocol, Mutter's idle monitor over D-Bus. The host waits on the source's
// descriptors beside its own and lets it handle what came; the idle cycle
// (idle_cycle.h) reads it and tells it when the figure shows and hides.
class IdleSource {
 public:
  virtual ~IdleSource() = default;
  // Adds what to wait on; may shorten `timeoutMs` (-1: no limit).
  virtual void prepare(std::vector<pollfd>& fds, int& timeoutMs) = 0;
  // Handles what the wait brought; or why the source is gone for good, which
  // ends the run.
  virtual Result<void> dispatch(std::vector<pollfd>& fds) = 0;
  // Whether the figure should show: idle long enough, and nothing inhibits
  // it. While shown: whether the session is still idle, as far as the source
  // can tell.
  virtual bool idle() const = 0;
  // The figure was shown: from now on the first activity ends idleness.
  virtual void shown() = 0;
  // The figure was hidden: idle again only after the next idle time.
  virtual void hidden() = 0;
};

}  // namespace orbelune
