#include "host/idle_cycle.h"

namespace orbelune {

IdleCycle::Step IdleCycle::step(bool inputEnded, bool closed) {
  switch (state_) {
    case State::Hidden:
      // The figure shows again only after the session was in use: a source
      // that still says idle (a window closed, not input) is not a new idle time.
      if (source_.idle()) return Step::Stay;
      state_ = State::Waiting;
      [[fallthrough]];
    case State::Waiting:
      if (!source_.idle()) return Step::Stay;
      state_ = State::Shown;
      source_.shown();
      return Step::Show;
    case State::Shown:
      if (!inputEnded && !closed && source_.idle()) return Step::Stay;
      state_ = State::Hidden;
      source_.hidden();
      if (!source_.idle()) state_ = State::Waiting;
      return Step::Hide;
  }
  return Step::Stay;
}

}  // namespace orbelune
