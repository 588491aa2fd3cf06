#pragma once
#include "host/idle_source.h"

namespace orbelune {

// The figure of `orbelune idle`: waiting for the session to go idle, shown
// while it is, hidden on input until the session is in use again, then
// waiting for the next idle time. Hosts do what a step says (cover the
// outputs, take the surfaces away); the source hears of each show and hide.
class IdleCycle {
 public:
  enum class State { Waiting, Shown, Hidden };
  enum class Step { Stay, Show, Hide };

  explicit IdleCycle(IdleSource& source) : source_(source) {}

  // What to do now. `inputEnded`: input ended the figure since the last step;
  // `closed`: a surface of it went (closed by the compositor, destroyed).
  Step step(bool inputEnded, bool closed);
  State state() const { return state_; }

 private:
  IdleSource& source_;
  State state_ = State::Waiting;
};

}  // namespace orbelune
