#pragma once
#include <optional>

#include "host/host_event.h"

namespace orbelune {

// When the user's input ends the figure, for every host alike.
//
// A window ends on q or Escape. A figure covering the screen ends on any key,
// any button, and pointer travel beyond kMotionThreshold from where the
// pointer was first seen (a trembling mouse does not end it). A figure that
// takes no input (the background layer, XScreenSaver's windows, whose input is
// XScreenSaver's) never ends on it. Input before the figure's first frame is
// on screen ends nothing: it is what woke or started it.
class InputRules {
 public:
  enum class Mode { Window, Cover, NoInput };
  // Pointer travel (pixels) that counts as the user's.
  static constexpr double kMotionThreshold = 10.0;

  explicit InputRules(Mode mode) : mode_(mode) {}
  Mode mode() const { return mode_; }

  // Whether `event` ends the figure.
  bool ends(const HostEvent& event);
  // The first frame is on screen: input counts from now on.
  void firstFrameShown() { live_ = true; }
  // A new showing of the figure: input counts again only after its first frame.
  void restart();

 private:
  Mode mode_;
  bool live_ = false;
  std::optional<HostEvent> pointerStart_;
};

}  // namespace orbelune
