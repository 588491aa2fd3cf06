#pragma once
#include <poll.h>

#include <vector>

namespace orbelune {

// Where a host learns that the session went idle, when its window system has
// no word for it of its own (GNOME tells over D-Bus). The host waits on the
// source's descriptors beside its own and lets it handle what came.
class IdleSource {
 public:
  virtual ~IdleSource() = default;
  // Adds what to wait on; may shorten `timeoutMs` (-1: no limit).
  virtual void prepare(std::vector<pollfd>& fds, int& timeoutMs) = 0;
  // Handles what the wait brought. False when the source is gone for good.
  virtual bool dispatch(std::vector<pollfd>& fds) = 0;
  // Whether the figure should show: idle long enough, and nothing inhibits it.
  virtual bool idle() const = 0;
  // The figure was shown: from now on the first activity ends idleness.
  virtual void shown() = 0;
  // The figure was hidden on input: idle again only after the next idle time.
  virtual void hidden() = 0;
};

}  // namespace orbelune
