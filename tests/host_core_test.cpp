// The host core against a fake window system: frame pacing, the input rules,
// the idle cycle, and what the user reads.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <utility>

#include "fake_window_system.h"
#include "host/frame_pacer.h"
#include "host/idle_cycle.h"
#include "host/input_rules.h"
#include "host/session_locker.h"
#include "test_support.h"

namespace orbelune {
namespace {

using test::FakeIdleSource;
using test::FakeWindowSystem;
using Key = HostEvent::Key;

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(FramePacer, KeepsAbsoluteDeadlinesAndSkipsRatherThanBurstsAfterAStall) {
  // Binary fractions, so that the deadlines are exact.
  FramePacer pacer(0.0625, 10.0);
  EXPECT_FALSE(pacer.due(10.0624));
  EXPECT_EQ(pacer.timeoutMs(10.0), 63);  // rounded up: never woken early
  EXPECT_TRUE(pacer.due(10.0625));
  // A frame drawn late does not move the next deadline: no drift.
  pacer.advance(10.09);
  EXPECT_FALSE(pacer.due(10.1249));
  EXPECT_TRUE(pacer.due(10.125));
  EXPECT_EQ(pacer.timeoutMs(10.5), 0);
  // After a stall of many intervals, one frame, then one interval from now.
  pacer.advance(13.0);
  EXPECT_FALSE(pacer.due(13.0624));
  EXPECT_TRUE(pacer.due(13.0625));
  // The views' own interval, once known, paces from the next deadline on.
  pacer.setInterval(0.125);
  pacer.advance(13.0625);
  EXPECT_FALSE(pacer.due(13.1874));
  EXPECT_TRUE(pacer.due(13.1875));
}

TEST(InputRules, AWindowEndsOnQOrEscapeOnlyAndOnlyOnceItsFirstFrameShows) {
  InputRules rules(InputRules::Mode::Window);
  EXPECT_FALSE(rules.ends(HostEvent::keyDown(Key::Q)));  // before the first frame
  rules.firstFrameShown();
  EXPECT_FALSE(rules.ends(HostEvent::keyDown(Key::Other)));
  EXPECT_FALSE(rules.ends(HostEvent::button()));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(0, 0)));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(500, 500)));
  EXPECT_TRUE(rules.ends(HostEvent::keyDown(Key::Q)));
  EXPECT_TRUE(rules.ends(HostEvent::keyDown(Key::Escape)));
}

TEST(InputRules, ACoverEndsOnAnyKeyButtonOrTravelBeyondTheThresholdButNotOnATremble) {
  InputRules rules(InputRules::Mode::Cover);
  rules.firstFrameShown();
  EXPECT_TRUE(rules.ends(HostEvent::keyDown(Key::Other)));
  EXPECT_TRUE(rules.ends(HostEvent::button()));

  rules.restart();
  rules.firstFrameShown();
  EXPECT_FALSE(rules.ends(HostEvent::pointerEnter(100, 100)));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(106, 108)));  // 10 px: a tremble
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(94, 92)));    // still within 10 px of the start
  EXPECT_TRUE(rules.ends(HostEvent::pointerMotion(100, 110.5)));
}

TEST(InputRules, TravelCountsFromWhereThePointerIsOnceTheFigureShowsAndAfterADeviceCameBack) {
  InputRules rules(InputRules::Mode::Cover);
  // Before the first frame, motion moves the start along instead of ending.
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(0, 0)));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(300, 0)));
  EXPECT_FALSE(rules.ends(HostEvent::keyDown(Key::Other)));
  EXPECT_FALSE(rules.ends(HostEvent::button()));
  rules.firstFrameShown();
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(305, 0)));
  // A pointer unplugged and plugged again: its first place is the new start.
  EXPECT_FALSE(rules.ends(HostEvent::pointerGone()));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(0, 0)));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(5, 5)));
  EXPECT_TRUE(rules.ends(HostEvent::pointerMotion(50, 0)));
}

TEST(InputRules, AFigureThatTakesNoInputNeverEndsOnIt) {
  InputRules rules(InputRules::Mode::NoInput);
  rules.firstFrameShown();
  EXPECT_FALSE(rules.ends(HostEvent::keyDown(Key::Q)));
  EXPECT_FALSE(rules.ends(HostEvent::button()));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(0, 0)));
  EXPECT_FALSE(rules.ends(HostEvent::pointerMotion(900, 900)));
}

TEST(IdleCycle, ShowsWhenIdleHidesOnInputAndShowsAgainOnlyAfterTheSessionWasInUse) {
  FakeIdleSource source;
  IdleCycle cycle(source);
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Stay);
  source.idle_ = true;
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Show);
  EXPECT_EQ(source.shown_, 1);
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Stay);
  EXPECT_EQ(cycle.step(true, false), IdleCycle::Step::Hide);
  EXPECT_EQ(source.hidden_, 1);
  // The source still says idle (it has not heard of the input yet): hidden.
  EXPECT_EQ(cycle.state(), IdleCycle::State::Hidden);
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Stay);
  source.idle_ = false;
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Stay);
  EXPECT_EQ(cycle.state(), IdleCycle::State::Waiting);
  source.idle_ = true;
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Show);
  // The session in use again (the source's word), or a surface closed, hides it too.
  source.idle_ = false;
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Hide);
  EXPECT_EQ(cycle.state(), IdleCycle::State::Waiting);
  source.idle_ = true;
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Show);
  EXPECT_EQ(cycle.step(false, true), IdleCycle::Step::Hide);
  EXPECT_EQ(cycle.step(false, false), IdleCycle::Step::Stay);  // no new idle time yet
  EXPECT_EQ(source.shown_, 3);
  EXPECT_EQ(source.hidden_, 3);
}

class HostCoreTest : public test::IsolatedTest {};

// Draws until a frame reached the screen (the first tick may only start the view).
void loopUntilDrawn(FakeWindowSystem& fake, std::size_t frames = 3) {
  for (std::size_t i = 0; i < frames; ++i) fake.loop();
}

TEST_F(HostCoreTest, SaysTheFigureShowsOnlyOnceAFrameIsOnScreenAndOncePerShowing) {
  FakeWindowSystem fake(InputRules::Mode::Cover);
  FakeIdleSource source;
  fake.watch(source);
  fake.plug("A");
  fake.plug("B");
  source.idle_ = true;
  fake.compositorShowsFrames_ = false;  // a compositor that never configures the surfaces
  loopUntilDrawn(fake);
  EXPECT_EQ(fake.surfaces(), 2u);
  EXPECT_EQ(fake.said(), "");
  // Input while nothing is on screen ends nothing: the user saw nothing.
  fake.input(HostEvent::keyDown(Key::Other));
  fake.loop();
  EXPECT_TRUE(fake.core().showing());

  fake.compositorShowsFrames_ = true;
  loopUntilDrawn(fake);
  EXPECT_EQ(fake.said(), "orbelune idle: showing the figure on 2 monitors\n");
}

TEST_F(HostCoreTest, InputDuringAShowHidesItAndTheWatcherGoesOnToTheNextIdleTime) {
  FakeWindowSystem fake(InputRules::Mode::Cover);
  FakeIdleSource source;
  fake.watch(source);
  fake.plug("A");
  fake.loop();
  EXPECT_EQ(fake.surfaces(), 0u);  // not idle: nothing shows
  source.idle_ = true;
  loopUntilDrawn(fake);
  ASSERT_EQ(fake.surfaces(), 1u);

  fake.input(HostEvent::pointerEnter(10, 10));
  fake.input(HostEvent::pointerMotion(15, 12));
  fake.loop();
  EXPECT_EQ(fake.surfaces(), 1u);  // a tremble
  fake.input(HostEvent::pointerMotion(60, 12));
  source.idle_ = false;  // the compositor saw the input too
  fake.loop();
  EXPECT_EQ(fake.surfaces(), 0u);
  EXPECT_FALSE(fake.core().ended());
  EXPECT_EQ(count(fake.said(), "hidden on input"), 1);

  source.idle_ = true;
  loopUntilDrawn(fake);
  EXPECT_EQ(fake.surfaces(), 1u);
  EXPECT_EQ(count(fake.said(), "showing the figure on 1 monitor\n"), 2);
  fake.input(HostEvent::keyDown(Key::Other));
  fake.loop();
  EXPECT_EQ(fake.surfaces(), 0u);
  EXPECT_EQ(count(fake.said(), "hidden on input"), 2);
  EXPECT_EQ(source.shown_, 2);
  EXPECT_EQ(source.hidden_, 2);
}

TEST_F(HostCoreTest, AMonitorVanishingWhileShownLeavesTheOthersShowingAndTheLastOneHidesIt) {
  FakeWindowSystem fake(InputRules::Mode::Cover);
  FakeIdleSource source;
  fake.watch(source);
  fake.plug("A");
  fake.plug("B");
  source.idle_ = true;
  loopUntilDrawn(fake);
  ASSERT_EQ(fake.surfaces(), 2u);

  fake.unplug("A");
  loopUntilDrawn(fake);
  EXPECT_EQ(fake.surfaces(), 1u);
  EXPECT_TRUE(fake.core().showing());
  EXPECT_EQ(source.hidden_, 0);

  fake.unplug("B");
  fake.loop();
  EXPECT_FALSE(fake.core().showing());
  EXPECT_EQ(source.hidden_, 1);
  // A monitor plugged while the session stays idle gets no figure until the next idle time.
  fake.plug("C");
  fake.loop();
  EXPECT_EQ(fake.surfaces(), 0u);
  source.idle_ = false;
  fake.loop();
  source.idle_ = true;
  loopUntilDrawn(fake);
  EXPECT_EQ(fake.surfaces(), 1u);
  EXPECT_FALSE(fake.core().ended());
}

TEST_F(HostCoreTest, WithoutAnIdleSourceInputEndsTheRunAndAFailureIsSaidOnceWithStatusOne) {
  FakeWindowSystem window(InputRules::Mode::Window);
  window.plug("A");
  loopUntilDrawn(window);
  window.input(HostEvent::keyDown(Key::Other));
  EXPECT_FALSE(window.core().ended());
  window.input(HostEvent::keyDown(Key::Escape));
  EXPECT_TRUE(window.core().ended());
  EXPECT_EQ(window.core().status(), 0);

  FakeWindowSystem failing(InputRules::Mode::Cover);
  failing.core().fail("cannot map the buffer");
  failing.core().fail("a second reason");
  failing.core().lostConnection("the X server");
  EXPECT_EQ(failing.core().status(), 1);
  EXPECT_EQ(failing.errors(), "orbelune idle: cannot map the buffer\n");
}

TEST_F(HostCoreTest, SaysWhatTheStoreFoundWrongWhenItMakesAViewAndPacesAtTheViewsInterval) {
  writeStoreFile("{ not json");
  FakeWindowSystem fake(InputRules::Mode::Window);
  fake.plug("A");
  fake.loop();
  EXPECT_EQ(count(fake.errors(), "orbelune idle: warning: "), 1) << fake.errors();
  EXPECT_DOUBLE_EQ(fake.core().pacer().interval(), OrbeluneView::kAnimationInterval);
}

// The logind side of the locker, as the test asks.
class FakeRequests final : public LockRequests {
 public:
  void prepare(std::vector<pollfd>&, int&) override {}
  Result<bool> dispatch(std::vector<pollfd>&) override { return std::exchange(*ask_, false); }
  void lockSettled() override { ++*settled_; }
  bool* ask_;
  int* settled_;
};

// Waits on the locker's descriptors and lets it handle them until `done`, for 5 s at most.
template <typename Done>
bool pumpUntil(SessionLocker& locker, HostCore& core, Done done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    std::vector<pollfd> fds;
    int timeout = 10;
    locker.prepare(fds, timeout, 0.0);
    poll(fds.data(), fds.size(), timeout);
    locker.dispatch(fds, 0.0, core);
  }
  return done();
}

TEST_F(HostCoreTest, TheLockerStartsOnceTheFigureShowedLongEnoughOneAtATimeAndItsEndIsSaid) {
  std::ostringstream out, err;
  HostCore core("orbelune idle", {}, InputRules::Mode::Cover, err);
  FakeIdleSource source;
  core.watchIdle(source, &out);
  bool ask = false;
  int settled = 0;
  auto requests = std::make_unique<FakeRequests>();
  requests->ask_ = &ask;
  requests->settled_ = &settled;
  // Says it locked, then ends as a locker that failed after locking does.
  SessionLocker locker("/bin/sh", {"sh", "-c", "echo 'orbelune lock: locked'; sleep 0.3; exit 3"}, 2.0,
                       std::move(requests));
  core.lockAfterIdle(locker);
  source.idle_ = true;
  ASSERT_EQ(core.idleStep(false), IdleCycle::Step::Show);
  core.frameOnScreen(1);
  locker.figureShown(10.0);  // as the core did, on a time of the test's own
  std::vector<pollfd> fds;
  int timeout = -1;
  locker.prepare(fds, timeout, 10.5);
  EXPECT_EQ(timeout, 1500);  // woken when the figure has shown long enough
  locker.dispatch(fds, 11.9, core);
  EXPECT_EQ(locker.started(), 0);
  locker.dispatch(fds, 12.0, core);
  EXPECT_EQ(locker.started(), 1);
  // Asked again while one runs: still one.
  ask = true;
  locker.dispatch(fds, 12.1, core);
  locker.lock(core, "asked");
  EXPECT_EQ(locker.started(), 1);
  ASSERT_TRUE(pumpUntil(locker, core, [&] { return locker.locked(); })) << err.str();
  EXPECT_GE(settled, 1);
  // The lock draws the figure itself: the watcher's hides under it.
  EXPECT_EQ(core.idleStep(false), IdleCycle::Step::Hide);
  ASSERT_TRUE(pumpUntil(locker, core, [&] { return !locker.running(); }));
  EXPECT_NE(err.str().find("ended with status 3; the session stays locked"), std::string::npos) << err.str();
  EXPECT_NE(out.str().find("orbelune idle: locking the session (the figure showed for 2 s)"), std::string::npos);
  EXPECT_NE(out.str().find("orbelune idle: the session is locked\norbelune idle: hidden under the lock\n"),
            std::string::npos)
      << out.str();
  // That showing locked once; a showing hidden in time locks never.
  locker.dispatch(fds, 100.0, core);
  locker.figureShown(200.0);
  locker.figureHidden();
  locker.dispatch(fds, 203.0, core);
  EXPECT_EQ(locker.started(), 1);
  // A request locks at once, and a locker that ends in success is a line for --verbose only.
  SessionLocker quick("/bin/true", {"true"}, 0.0);
  quick.figureShown(0.0);
  quick.dispatch(fds, 1e6, core);
  EXPECT_EQ(quick.started(), 0);  // 0: only when asked
  quick.lock(core, "logind asked");
  ASSERT_TRUE(pumpUntil(quick, core, [&] { return !quick.running(); }));
  EXPECT_NE(out.str().find("ended: unlocked"), std::string::npos) << out.str();
  EXPECT_EQ(err.str().find("ended with status 0"), std::string::npos) << err.str();
}

// A locker that dies by a signal with the session locked (a crash, the OOM
// killer) is followed by a new one after a short wait; one that ends
// otherwise is not.
TEST_F(HostCoreTest, ALockerThatDiesWithTheSessionLockedIsFollowedByANewOne) {
  std::ostringstream err;
  HostCore core("orbelune idle", {}, InputRules::Mode::Cover, err);
  const std::string once = (std::filesystem::temp_directory_path() / ("orbelune-relock-" + std::to_string(getpid())))
                               .string();
  std::filesystem::remove(once);
  // The first is killed once locked, the second unlocks.
  SessionLocker locker("/bin/sh",
                       {"sh", "-c", "echo 'orbelune lock: locked'; [ -e \"$0\" ] && exit 0; : >\"$0\"; kill -KILL $$",
                        once},
                       0.0);
  locker.lock(core, "asked");
  ASSERT_TRUE(pumpUntil(locker, core, [&] { return !locker.running(); })) << err.str();
  EXPECT_NE(err.str().find("ended with signal KILL; the session stays locked, and a new locker starts in 1 s"),
            std::string::npos)
      << err.str();
  std::vector<pollfd> fds;
  int timeout = -1;
  locker.prepare(fds, timeout, 0.5);
  EXPECT_EQ(timeout, 500);
  locker.dispatch(fds, 0.9, core);
  EXPECT_EQ(locker.started(), 1);
  locker.dispatch(fds, 1.0, core);
  EXPECT_EQ(locker.started(), 2);
  ASSERT_TRUE(pumpUntil(locker, core, [&] { return !locker.running(); })) << err.str();
  EXPECT_EQ(err.str().find("ended with", err.str().find("ended with") + 1), std::string::npos) << err.str();
  locker.dispatch(fds, 100.0, core);
  EXPECT_EQ(locker.started(), 2) << "an unlock is followed by nothing";
  std::filesystem::remove(once);
}

}  // namespace
}  // namespace orbelune
