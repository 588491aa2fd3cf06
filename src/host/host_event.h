#pragma once

namespace orbelune {

// The user's input as every window system reports it: a backend translates
// its native events (XKeyEvent, wl_keyboard.key, ...) into these, and the
// host core decides what they mean.
struct HostEvent {
  enum class Kind {
    Key,            // a key went down
    Button,         // a pointer button went down
    PointerEnter,   // the pointer is known to be at (x, y), without moving there
    PointerMotion,  // the pointer moved to (x, y)
    PointerGone,    // the pointer device went; where it is is unknown again
  } kind = Kind::Key;
  // Keys a window ends on; any other key is Other.
  enum class Key { Q, Escape, Other } key = Key::Other;
  double x = 0.0, y = 0.0;  // the pointer's place (pixels of the host's choice, same for all events)

  static HostEvent keyDown(Key k) { return {Kind::Key, k, 0.0, 0.0}; }
  static HostEvent button() { return {Kind::Button, Key::Other, 0.0, 0.0}; }
  static HostEvent pointerEnter(double x, double y) { return {Kind::PointerEnter, Key::Other, x, y}; }
  static HostEvent pointerMotion(double x, double y) { return {Kind::PointerMotion, Key::Other, x, y}; }
  static HostEvent pointerGone() { return {Kind::PointerGone, Key::Other, 0.0, 0.0}; }
};

}  // namespace orbelune
