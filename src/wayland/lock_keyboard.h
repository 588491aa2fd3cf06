#pragma once
// The lock screen's keyboard: the compositor's keymap compiled with
// xkbcommon, each key pressed turned into what the prompt acts on (a typed
// character as UTF-8, Enter, Escape, Backspace, or another key), and Caps
// Lock's state. The text of a key lives only in a buffer on the stack that is
// wiped once the prompt has taken it.
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "lock/lock_prompt.h"
#include "wayland/wayland_seat.h"

namespace orbelune {

class LockKeyboard final : public KeySink {
 public:
  // `pressed` hears each key going down, with Caps Lock's state at that moment.
  explicit LockKeyboard(std::function<void(const LockKey& key, bool capsLock)> pressed);

  void keymap(uint32_t format, int fd, uint32_t size) override;
  void key(uint32_t key, bool pressed) override;
  void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) override;

  // Compiles a keymap from its text (what keymap() reads from the descriptor);
  // false when xkbcommon refuses it.
  bool useKeymap(const char* text);
  bool hasKeymap() const { return state_ != nullptr; }

 private:
  struct Free {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
  };
  std::function<void(const LockKey&, bool)> pressed_;
  std::unique_ptr<xkb_context, Free> context_;
  std::unique_ptr<xkb_keymap, Free> keymap_;
  std::unique_ptr<xkb_state, Free> state_;
};

}  // namespace orbelune
