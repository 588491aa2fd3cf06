#include "host/input_rules.h"

#include <cmath>

namespace orbelune {

bool InputRules::ends(const HostEvent& event) {
  using Kind = HostEvent::Kind;
  switch (event.kind) {
    case Kind::PointerGone:
      pointerStart_.reset();
      return false;
    case Kind::PointerEnter:
      if (!pointerStart_) pointerStart_ = event;
      return false;
    case Kind::PointerMotion:
      // Before the first frame the pointer may still settle: travel counts
      // from where it is once the figure shows.
      if (!pointerStart_ || !live_) {
        pointerStart_ = event;
        return false;
      }
      return mode_ == Mode::Cover &&
             std::hypot(event.x - pointerStart_->x, event.y - pointerStart_->y) > kMotionThreshold;
    case Kind::Key:
      if (!live_) return false;
      if (mode_ == Mode::Window) return event.key == HostEvent::Key::Q || event.key == HostEvent::Key::Escape;
      return mode_ == Mode::Cover;
    case Kind::Button:
      return live_ && mode_ == Mode::Cover;
  }
  return false;
}

void InputRules::restart() {
  live_ = false;
  pointerStart_.reset();
}

}  // namespace orbelune
