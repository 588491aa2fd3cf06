#pragma once
// The seat's keyboard and pointer, their events translated into the host
// core's: keys (evdev codes; q and Escape named), buttons, pointer places.
// A keyboard or pointer unplugged (or replaced) is let go, and taken again
// when the seat has one.
#include <wayland-client.h>

#include <cstdint>

#include "host/host_core.h"
#include "wayland/wayland_handle.h"

namespace orbelune {

// Where a host that reads what is typed (the lock screen) has the keyboard's
// own events: its keymap (the sink owns the descriptor), each key going down
// or up (evdev codes), and the modifiers' state.
class KeySink {
 public:
  virtual ~KeySink() = default;
  virtual void keymap(uint32_t format, int fd, uint32_t size) = 0;
  virtual void key(uint32_t key, bool pressed) = 0;
  virtual void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) = 0;
};

class WaylandSeat {
 public:
  // `seat` may be null (a figure that takes no input binds none). With a
  // `sink`, keys go to it instead of the core.
  WaylandSeat(wl_seat* seat, HostCore& core, KeySink* sink = nullptr);
  WaylandSeat(const WaylandSeat&) = delete;
  WaylandSeat& operator=(const WaylandSeat&) = delete;

  // Acts on what the seat said since: devices gone, devices come.
  void apply();

 private:
  static void onCapabilities(void* data, wl_seat*, uint32_t caps);
  static void onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size);
  static void onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state);
  static void onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                          uint32_t group);
  static void onPointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y);
  static void onPointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y);
  static void onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state);

  wl_seat* seat_;
  HostCore& core_;
  KeySink* sink_;
  WlHandle<wl_keyboard> keyboard_;
  WlHandle<wl_pointer> pointer_;
  bool changed_ = false;
  uint32_t caps_ = 0;
  // Capabilities the seat lost since the loop last looked, even when they came
  // back at once (a device replaced): the old objects get no more events.
  uint32_t capsLost_ = 0;
};

}  // namespace orbelune
