#include "wayland/lock_keyboard.h"

#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace orbelune {

LockKeyboard::LockKeyboard(std::function<void(const LockKey&, bool)> pressed)
    : pressed_(std::move(pressed)), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

void LockKeyboard::keymap(uint32_t format, int fd, uint32_t size) {
  // A file shorter than the size said would fault on the last byte's read.
  struct stat file {};
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0 && fstat(fd, &file) == 0 &&
      file.st_size >= static_cast<off_t>(size)) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      // The compositor's string ends with a NUL within `size`.
      if (static_cast<const char*>(text)[size - 1] == '\0') useKeymap(static_cast<const char*>(text));
      munmap(text, size);
    }
  }
  close(fd);
}

bool LockKeyboard::useKeymap(const char* text) {
  if (!context_) return false;
  std::unique_ptr<xkb_keymap, Free> keymap(
      xkb_keymap_new_from_string(context_.get(), text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return false;
  std::unique_ptr<xkb_state, Free> state(xkb_state_new(keymap.get()));
  if (!state) return false;
  keymap_ = std::move(keymap);
  state_ = std::move(state);
  return true;
}

void LockKeyboard::modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
  if (state_) xkb_state_update_mask(state_.get(), depressed, latched, locked, 0, 0, group);
}

void LockKeyboard::key(uint32_t key, bool pressed) {
  if (!pressed) return;
  if (!state_) {
    // No keymap (yet): the key still shows the prompt.
    pressed_(LockKey::of(LockKey::Kind::Other), false);
    return;
  }
  const xkb_keycode_t code = key + 8;  // evdev to XKB
  const bool caps = xkb_state_mod_name_is_active(state_.get(), XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0;
  switch (xkb_state_key_get_one_sym(state_.get(), code)) {
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter:
    case XKB_KEY_ISO_Enter:
      pressed_(LockKey::of(LockKey::Kind::Enter), caps);
      return;
    case XKB_KEY_Escape:
      pressed_(LockKey::of(LockKey::Kind::Escape), caps);
      return;
    case XKB_KEY_BackSpace:
      pressed_(LockKey::of(LockKey::Kind::Backspace), caps);
      return;
    default:
      break;
  }
  char text[64];
  const int length = xkb_state_key_get_utf8(state_.get(), code, text, sizeof text);
  // Control characters (Tab, Ctrl+letter) type nothing.
  const bool printable = length > 0 && length < static_cast<int>(sizeof text) &&
                         !(length == 1 && (static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7f));
  if (printable) {
    pressed_(LockKey::character(std::string_view(text, static_cast<std::size_t>(length))), caps);
  } else {
    pressed_(LockKey::of(LockKey::Kind::Other), caps);
  }
  explicit_bzero(text, sizeof text);
}

}  // namespace orbelune
