#include "wayland/wayland_seat.h"

#include <unistd.h>

namespace orbelune {

void WaylandSeat::onCapabilities(void* data, wl_seat*, uint32_t caps) {
  auto* s = static_cast<WaylandSeat*>(data);
  s->capsLost_ |= ~caps;
  s->caps_ = caps;
  s->changed_ = true;
}

void WaylandSeat::onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  auto* s = static_cast<WaylandSeat*>(data);
  if (s->sink_) {
    s->sink_->keymap(format, fd, size);
  } else {
    close(fd);
  }
}

void WaylandSeat::onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                              uint32_t locked, uint32_t group) {
  auto* s = static_cast<WaylandSeat*>(data);
  if (s->sink_) s->sink_->modifiers(depressed, latched, locked, group);
}

void WaylandSeat::onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  auto* s = static_cast<WaylandSeat*>(data);
  if (s->sink_) {
    s->sink_->key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    return;
  }
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  // evdev's codes (linux/input-event-codes.h) of the keys a window ends on.
  constexpr uint32_t kKeyEscape = 1, kKeyQ = 16;
  s->core_.input(HostEvent::keyDown(key == kKeyQ        ? HostEvent::Key::Q
                                                                  : key == kKeyEscape ? HostEvent::Key::Escape
                                                                                      : HostEvent::Key::Other));
}

void WaylandSeat::onPointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  static_cast<WaylandSeat*>(data)->core_.input(HostEvent::pointerEnter(wl_fixed_to_double(x), wl_fixed_to_double(y)));
}

void WaylandSeat::onPointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  static_cast<WaylandSeat*>(data)->core_.input(
      HostEvent::pointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y)));
}

void WaylandSeat::onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<WaylandSeat*>(data)->core_.input(HostEvent::button());
}

WaylandSeat::WaylandSeat(wl_seat* seat, HostCore& core, KeySink* sink) : seat_(seat), core_(core), sink_(sink) {
  static constexpr wl_seat_listener listener{
      .capabilities = onCapabilities,
      .name = [](void*, wl_seat*, const char*) {},
  };
  if (seat_) wl_seat_add_listener(seat_, &listener, this);
}

void WaylandSeat::apply() {
  if (!changed_) return;
  changed_ = false;
  static constexpr wl_keyboard_listener keyboard{
      .keymap = onKeymap,
      .enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
      .leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
      .key = onKey,
      .modifiers = onModifiers,
      .repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {},
  };
  // Set member by member: newer libwayland adds events (axis_value120,
  // axis_relative_direction) that the seat's bound version (5) never sends,
  // and those members stay null.
  static constexpr wl_pointer_listener pointer = [] {
    wl_pointer_listener l{};
    l.enter = onPointerEnter;
    l.leave = [](void*, wl_pointer*, uint32_t, wl_surface*) {};
    l.motion = onPointerMotion;
    l.button = onButton;
    l.axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {};
    l.frame = [](void*, wl_pointer*) {};
    l.axis_source = [](void*, wl_pointer*, uint32_t) {};
    l.axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {};
    l.axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {};
    return l;
  }();
  if ((capsLost_ & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard_) keyboard_.reset();
  if ((capsLost_ & WL_SEAT_CAPABILITY_POINTER) && pointer_) {
    pointer_.reset();
    core_.input(HostEvent::pointerGone());
  }
  capsLost_ = 0;
  if ((caps_ & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
    keyboard_.reset(wl_seat_get_keyboard(seat_));
    wl_keyboard_add_listener(keyboard_.get(), &keyboard, this);
  }
  if ((caps_ & WL_SEAT_CAPABILITY_POINTER) && !pointer_) {
    pointer_.reset(wl_seat_get_pointer(seat_));
    wl_pointer_add_listener(pointer_.get(), &pointer, this);
  }
}

}  // namespace orbelune
