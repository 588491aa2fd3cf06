// The lock screen's prompt on a driven clock: when it shows, what it holds,
// which keys submit, the growing delay after refusals, the fade that wipes
// what was typed, and that nothing but an accepted check unlocks; and what
// its drawing puts over the figure.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "lock/lock_prompt.h"
#include "lock/prompt_drawing.h"
#include "recording/recording_graphics.h"

namespace orbelune {
namespace {

using Kind = LockKey::Kind;
using Phase = LockPrompt::Phase;
using Reply = auth_channel::Reply;

struct Prompt : ::testing::Test {
  VirtualClock clock{100.0};
  LockPrompt prompt{clock};

  void type(const std::string& text) {
    for (char c : text) prompt.key(LockKey::character(std::string(1, c)));
  }
  LockPrompt::Action enter() { return prompt.key(LockKey::of(Kind::Enter)); }
  std::string typed() { return std::string(prompt.password().data(), prompt.password().size()); }
};

std::vector<RecordingGraphics::Text> texts(const RecordingGraphics& graphics) {
  std::vector<RecordingGraphics::Text> found;
  for (const auto& op : graphics.ops()) {
    if (const auto* text = std::get_if<RecordingGraphics::Text>(&op)) found.push_back(*text);
  }
  return found;
}

TEST_F(Prompt, HiddenUntilTheFirstKeyWhichIsTyped) {
  EXPECT_EQ(prompt.phase(), Phase::Hidden);
  EXPECT_EQ(prompt.opacity(), 0.0);
  prompt.key(LockKey::character("s"));
  EXPECT_EQ(prompt.phase(), Phase::Typing);
  EXPECT_EQ(prompt.opacity(), 1.0);
  EXPECT_EQ(prompt.dots(), 1u);

  LockPrompt other(clock);
  other.key(LockKey::of(Kind::Other));  // a Shift alone shows it, typing nothing
  EXPECT_EQ(other.phase(), Phase::Typing);
  EXPECT_EQ(other.dots(), 0u);
}

TEST_F(Prompt, EditingKeysAndSubmitting) {
  type("hunter");
  prompt.key(LockKey::character("\xC3\xA9"));
  EXPECT_EQ(prompt.dots(), 7u);
  prompt.key(LockKey::of(Kind::Backspace));
  EXPECT_EQ(typed(), "hunter");
  prompt.key(LockKey::of(Kind::Escape));
  EXPECT_EQ(prompt.dots(), 0u);
  EXPECT_EQ(enter(), LockPrompt::Action::None) << "an empty password is not sent";
  type("hunter2");
  EXPECT_EQ(enter(), LockPrompt::Action::Submit);
  EXPECT_EQ(prompt.phase(), Phase::Checking);
  EXPECT_EQ(prompt.message(), "Checking\u2026");
  // Keys while checking change nothing and send nothing.
  type("x");
  EXPECT_EQ(enter(), LockPrompt::Action::None);
  EXPECT_EQ(prompt.phase(), Phase::Checking);
  clock.advance(60.0);
  prompt.tick();
  EXPECT_EQ(prompt.opacity(), 1.0) << "checking never fades";
  prompt.checked(Reply::Accepted);
  EXPECT_TRUE(prompt.unlocked());
  EXPECT_EQ(prompt.password().size(), 0u);
}

TEST_F(Prompt, RefusalsShowTheMessageAndWaitLongerEachTime) {
  const double delays[] = {1.0, 2.0, 4.0, 8.0, 8.0};
  type("guess");
  ASSERT_EQ(enter(), LockPrompt::Action::Submit);
  for (double delay : delays) {
    prompt.checked(Reply::Rejected);
    EXPECT_EQ(prompt.phase(), Phase::Refused);
    EXPECT_EQ(prompt.message(), "Wrong password");
    EXPECT_EQ(prompt.password().size(), 0u);
    EXPECT_DOUBLE_EQ(prompt.waitLeft(), delay);
    EXPECT_DOUBLE_EQ(prompt.nextChange(), clock.now() + delay);
    // Keys during the delay are kept for the next try, and an Enter among
    // them sends it when the delay ends, not before.
    clock.advance(delay - 0.01);
    type("abd");
    prompt.key(LockKey::of(Kind::Backspace));
    type("c");
    EXPECT_EQ(enter(), LockPrompt::Action::None);
    type("z");  // after the Enter: not part of what it sends
    EXPECT_EQ(prompt.message(), "Wrong password");
    EXPECT_EQ(prompt.tick(), LockPrompt::Action::None);
    clock.advance(0.01);
    EXPECT_EQ(prompt.waitLeft(), 0.0);
    EXPECT_EQ(prompt.tick(), LockPrompt::Action::Submit);
    EXPECT_EQ(prompt.phase(), Phase::Checking);
    EXPECT_EQ(typed(), "abc");
  }
  // Kept keys without an Enter wait for one; the message stays until typing
  // starts after the delay.
  prompt.checked(Reply::Rejected);
  type("ab");
  clock.advance(LockPrompt::kLongestRefusalDelay);
  EXPECT_EQ(prompt.tick(), LockPrompt::Action::None);
  EXPECT_EQ(prompt.dots(), 2u);
  prompt.key(LockKey::of(Kind::Other));
  EXPECT_EQ(prompt.message(), "Wrong password") << "kept until typing starts";
  type("x");
  EXPECT_EQ(prompt.message(), "");
  EXPECT_EQ(typed(), "abx");
}

TEST_F(Prompt, EscapeGivesACheckUpWaitingAsARefusalAndAnUnansweredCheckIsToldApart) {
  type("pw");
  enter();
  EXPECT_EQ(prompt.key(LockKey::of(Kind::Escape)), LockPrompt::Action::Cancel);
  EXPECT_EQ(prompt.message(), "Cancelled");
  EXPECT_DOUBLE_EQ(prompt.waitLeft(), LockPrompt::kFirstRefusalDelay) << "giving up is no faster try";
  prompt.checked(Reply::Accepted);  // the given-up check's answer, were it to come
  EXPECT_FALSE(prompt.unlocked());
  EXPECT_EQ(prompt.key(LockKey::of(Kind::Escape)), LockPrompt::Action::None) << "nothing to give up";

  clock.advance(LockPrompt::kLongestRefusalDelay);
  type("pw");
  enter();
  prompt.notice("Touch the key\n(10 s left)\x1b[2J");
  EXPECT_EQ(prompt.message(), "Checking\u2026");
  EXPECT_EQ(prompt.detail(), "Touch the key (10 s left)\\x1b[2J");
  RecordingGraphics graphics;
  drawLockPrompt(graphics, prompt, makeRect(0, 0, 800, 600), PromptStyle{});
  EXPECT_EQ(texts(graphics).back().string, prompt.detail());
  prompt.checked(Reply::Unchecked);
  EXPECT_EQ(prompt.message(), "Cannot check the password");
  EXPECT_FALSE(prompt.detail().empty()) << "PAM's words stay with the answer";
  EXPECT_DOUBLE_EQ(prompt.waitLeft(), 2 * LockPrompt::kFirstRefusalDelay);
}

TEST_F(Prompt, OnlyAnAcceptedAnswerToASentPasswordUnlocks) {
  prompt.checked(Reply::Accepted);  // a stray reply: nothing was sent
  EXPECT_FALSE(prompt.unlocked());
  type("pw");
  enter();
  prompt.checked(Reply::Fault);
  EXPECT_EQ(prompt.phase(), Phase::Unavailable);
  EXPECT_FALSE(prompt.message().empty());
  type("pw");
  EXPECT_EQ(enter(), LockPrompt::Action::None);
  prompt.checked(Reply::Accepted);
  EXPECT_FALSE(prompt.unlocked()) << "a check that failed once is never trusted again";
  clock.advance(3600.0);
  prompt.tick();
  EXPECT_EQ(prompt.opacity(), 1.0) << "the fault stays in view";
}

TEST_F(Prompt, ARestartedCheckAsksAgainWithoutARefusalAndOnlyANewAnswerUnlocks) {
  type("pw");
  enter();
  prompt.checkRestarted();
  EXPECT_EQ(prompt.phase(), Phase::Typing);
  EXPECT_EQ(prompt.message(), "Type the password again");
  EXPECT_EQ(prompt.dots(), 0u);
  prompt.checked(Reply::Accepted);  // an answer to the password the dead check had
  EXPECT_FALSE(prompt.unlocked());
  type("pw");  // taken at once: no refusal's delay
  EXPECT_EQ(prompt.message(), "");
  EXPECT_EQ(enter(), LockPrompt::Action::Submit);
  prompt.checked(Reply::Accepted);
  EXPECT_TRUE(prompt.unlocked());
}

TEST_F(Prompt, FadesAfterQuietSecondsAndWipesWhatWasTyped) {
  type("half");
  clock.advance(LockPrompt::kShownSeconds - 0.5);
  EXPECT_EQ(prompt.opacity(), 1.0);
  type("x");  // a key keeps it
  clock.advance(LockPrompt::kShownSeconds);
  EXPECT_EQ(prompt.opacity(), 1.0);
  clock.advance(LockPrompt::kFadeSeconds / 2.0);
  EXPECT_DOUBLE_EQ(prompt.opacity(), 0.5);
  prompt.tick();
  EXPECT_EQ(prompt.phase(), Phase::Typing);
  clock.advance(LockPrompt::kFadeSeconds / 2.0);
  prompt.tick();
  EXPECT_EQ(prompt.phase(), Phase::Hidden);
  EXPECT_EQ(prompt.password().size(), 0u);
  EXPECT_EQ(prompt.nextChange(), std::numeric_limits<double>::infinity());
}

TEST_F(Prompt, CapsLockHint) {
  prompt.setCapsLock(true);
  type("a");
  EXPECT_EQ(prompt.message(), "Caps Lock is on");
  prompt.setCapsLock(false);
  EXPECT_EQ(prompt.message(), "");
}

TEST_F(Prompt, DrawsDotsAndTheMessageCentredInTheLowerThird) {
  RecordingGraphics graphics;
  const Rect bounds = makeRect(0, 0, 800, 600);
  const PromptStyle style{Color::white(), Color::black(), 2.0};
  drawLockPrompt(graphics, prompt, bounds, style);
  EXPECT_TRUE(graphics.ops().empty()) << "nothing before the first key";

  type("abc");
  prompt.setCapsLock(true);
  drawLockPrompt(graphics, prompt, bounds, style);
  const auto drawn = texts(graphics);
  ASSERT_EQ(drawn.size(), 10u) << "two lines, each over a four-way outline";
  const auto& dots = drawn[4];
  EXPECT_EQ(dots.string, "\u25CF \u25CF \u25CF");
  EXPECT_DOUBLE_EQ(dots.point.x + dots.width / 2.0, 400.0);
  EXPECT_DOUBLE_EQ(dots.point.y, 150.0);
  EXPECT_EQ(dots.color, Color::white());
  EXPECT_EQ(drawn[0].color, Color::black());
  EXPECT_EQ(drawn[9].string, "Caps Lock is on");
  EXPECT_LT(drawn[9].point.y, dots.point.y);
  for (const auto& text : drawn) EXPECT_EQ(text.string.find("abc"), std::string::npos);

  graphics.clear();
  clock.advance(LockPrompt::kShownSeconds + LockPrompt::kFadeSeconds / 4.0);
  drawLockPrompt(graphics, prompt, bounds, style);
  ASSERT_FALSE(texts(graphics).empty());
  EXPECT_DOUBLE_EQ(texts(graphics)[4].color->alpha, 0.75);
}

TEST_F(Prompt, ALongPasswordShowsAtMostSoManyDots) {
  type(std::string(kMostDots + 20, 'x'));
  RecordingGraphics graphics;
  drawLockPrompt(graphics, prompt, makeRect(0, 0, 800, 600), PromptStyle{});
  const std::string dots = texts(graphics)[4].string;
  std::size_t count = 0;
  for (std::size_t at = dots.find("\u25CF"); at != std::string::npos; at = dots.find("\u25CF", at + 1)) ++count;
  EXPECT_EQ(count, kMostDots);
}

}  // namespace
}  // namespace orbelune
