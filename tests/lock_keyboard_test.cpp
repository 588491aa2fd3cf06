// The lock screen's keyboard: keys of a US keymap (compiled as a compositor
// sends it) turned into what the prompt acts on, with Shift and Caps Lock.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>
#include <vector>

#include "wayland/lock_keyboard.h"

namespace orbelune {
namespace {

// evdev codes (linux/input-event-codes.h).
constexpr uint32_t kEsc = 1, kBackspace = 14, kTab = 15, kA = 30, kEnter = 28, kOne = 2;
constexpr uint32_t kShiftMask = 1u << 0, kLockMask = 1u << 1, kControlMask = 1u << 2;

struct Pressed {
  LockKey::Kind kind;
  std::string text;
  bool caps;
};

struct KeyboardFixture : ::testing::Test {
  std::vector<Pressed> pressed;
  LockKeyboard keyboard{[this](const LockKey& key, bool caps) {
    pressed.push_back({key.kind, std::string(key.text), caps});
  }};

  void SetUp() override {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_TRUE(context);
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
      xkb_context_unref(context);
      GTEST_SKIP() << "no XKB data (xkb-data) to compile a US keymap from";
    }
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    ASSERT_TRUE(keyboard.useKeymap(text));
    free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
  }
  Pressed press(uint32_t key) {
    pressed.clear();
    keyboard.key(key, true);
    keyboard.key(key, false);  // releases say nothing
    EXPECT_EQ(pressed.size(), 1u);
    return pressed.empty() ? Pressed{} : pressed.front();
  }
};

TEST_F(KeyboardFixture, CharactersFollowShiftAndCapsLock) {
  EXPECT_EQ(press(kA).text, "a");
  EXPECT_EQ(press(kA).kind, LockKey::Kind::Character);
  EXPECT_FALSE(press(kA).caps);
  keyboard.modifiers(kShiftMask, 0, 0, 0);
  EXPECT_EQ(press(kA).text, "A");
  EXPECT_EQ(press(kOne).text, "!");
  EXPECT_FALSE(press(kA).caps);
  keyboard.modifiers(0, 0, kLockMask, 0);
  const Pressed capital = press(kA);
  EXPECT_EQ(capital.text, "A");
  EXPECT_TRUE(capital.caps);
}

TEST_F(KeyboardFixture, EditingKeysAndControlCharacters) {
  EXPECT_EQ(press(kEnter).kind, LockKey::Kind::Enter);
  EXPECT_EQ(press(kEsc).kind, LockKey::Kind::Escape);
  EXPECT_EQ(press(kBackspace).kind, LockKey::Kind::Backspace);
  EXPECT_EQ(press(kTab).kind, LockKey::Kind::Other) << "a tab is typed into no password";
  keyboard.modifiers(kControlMask, 0, 0, 0);
  EXPECT_EQ(press(kA).kind, LockKey::Kind::Other) << "Ctrl+A is a control character";
}

TEST(LockKeyboard, WithoutAKeymapAKeyStillShowsThePrompt) {
  std::vector<LockKey::Kind> kinds;
  LockKeyboard keyboard([&](const LockKey& key, bool) { kinds.push_back(key.kind); });
  EXPECT_FALSE(keyboard.hasKeymap());
  EXPECT_FALSE(keyboard.useKeymap("not a keymap"));
  keyboard.key(kA, true);
  ASSERT_EQ(kinds.size(), 1u);
  EXPECT_EQ(kinds[0], LockKey::Kind::Other);
}

}  // namespace
}  // namespace orbelune
