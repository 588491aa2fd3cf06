// orbelune idle's command line, its autostart entry and its one-per-session lock.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/idle_command.h"
#include "activation/autostart_entry.h"
#include "activation/watcher_lock.h"
#include "settings/settings.h"
#include "settings/start_after.h"
#include "test_support.h"

namespace orbelune {
namespace {

class IdleCommandTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    runtime_ = configHome() / "run";
    std::filesystem::create_directories(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  std::filesystem::path runtime_;
};

TEST_F(IdleCommandTest, DurationsTakeUnitsAndBareMinutesWithinASecondToADay) {
  EXPECT_EQ(parseDuration("30s"), 30.0);
  EXPECT_EQ(parseDuration("5m"), 300.0);
  EXPECT_EQ(parseDuration("1h"), 3600.0);
  EXPECT_EQ(parseDuration("10"), 600.0);  // a bare number is minutes
  EXPECT_EQ(parseDuration("1.5m"), 90.0);
  EXPECT_EQ(parseDuration("24h"), 86400.0);
  for (const char* bad : {"", "s", "0s", "0.5s", "-5m", "25h", "1e400", "nan", "5 m", "5min", "m5", "inf"}) {
    EXPECT_FALSE(parseDuration(bad)) << bad;
  }
  std::ostringstream out, err;
  EXPECT_EQ(runIdleCommand({"--after", "0s"}, out, err), 2);
  EXPECT_NE(err.str().find("--after needs a duration"), std::string::npos) << err.str();
  EXPECT_EQ(runIdleCommand({"--after"}, out, err), 2);
  EXPECT_EQ(runIdleCommand({"--bogus"}, out, err), 2);
}

TEST_F(IdleCommandTest, TheStoredMinutesCountWithinASecondToADayElseTheDefault) {
  EXPECT_EQ(StartAfter::secondsFrom(nullptr), 600.0);
  auto store = openStore();
  EXPECT_EQ(StartAfter::secondsFrom(store.get()), 600.0);
  const std::pair<DefaultsValue, double> cases[] = {
      {DefaultsValue(2.5), 150.0},          {DefaultsValue(std::int64_t{3}), 180.0},
      {DefaultsValue(1.0 / 60.0), 1.0},     {DefaultsValue(1440.0), 86400.0},
      {DefaultsValue(0.001), 600.0},        {DefaultsValue(1441.0), 600.0},
      {DefaultsValue(-5.0), 600.0},         {DefaultsValue(std::string("5")), 600.0},
  };
  const char* key = StartAfter::setting().key;
  for (const auto& [stored, seconds] : cases) {
    store->setObject(stored, key);
    EXPECT_EQ(StartAfter::secondsFrom(store.get()), seconds);
  }
  // The flag keeps to the same range.
  EXPECT_EQ(parseDuration("1s"), 1.0);
  EXPECT_EQ(parseDuration("1440"), 86400.0);
  // The figure's settings neither read nor write it: loading and storing them
  // leaves the minutes as stored, and a file without them without them.
  store->setObject(DefaultsValue(std::int64_t{3}), key);
  Settings s;
  loadSettings(*store, s);
  ASSERT_TRUE(test::succeeded(writeSettings(*store, s)));
  EXPECT_EQ(openStore()->storedValue(key), DefaultsValue(std::int64_t{3}));
  store->remove(key);
  ASSERT_TRUE(test::succeeded(writeSettings(*store, s)));
  EXPECT_FALSE(openStore()->storedValue(key));
}

TEST_F(IdleCommandTest, TheLockMinutesAreOffUnlessStoredWithinADayAndTheFlagTakesZeroOrADuration) {
  EXPECT_EQ(LockAfter::secondsFrom(nullptr), 0.0);
  auto store = openStore();
  EXPECT_EQ(LockAfter::secondsFrom(store.get()), 0.0);
  const std::pair<DefaultsValue, double> cases[] = {
      {DefaultsValue(5.0), 300.0},  {DefaultsValue(std::int64_t{2}), 120.0}, {DefaultsValue(0.0), 0.0},
      {DefaultsValue(0.001), 1.0},  {DefaultsValue(1441.0), 0.0},            {DefaultsValue(-1.0), 0.0},
      {DefaultsValue(std::string("5")), 0.0},
  };
  for (const auto& [stored, seconds] : cases) {
    store->setObject(stored, LockAfter::setting().key);
    EXPECT_EQ(LockAfter::secondsFrom(store.get()), seconds);
  }
  std::ostringstream out, err;
  for (const char* bad : {"0s", "-1m", "25h", "soon"}) {
    EXPECT_EQ(runIdleCommand({"--lock-after", bad}, out, err), 2) << bad;
  }
  EXPECT_NE(err.str().find("--lock-after needs 0 or a duration"), std::string::npos) << err.str();
  printIdleHelp(out);
  EXPECT_NE(out.str().find("--lock-after DURATION"), std::string::npos);
}

TEST_F(IdleCommandTest, TheAutostartEntryStartsTheWatcherAndGoesAgainWithoutATrace) {
  const auto file = idleAutostartFile();
  EXPECT_EQ(file, configHome() / "autostart" / "orbelune-idle.desktop");
  ASSERT_TRUE(test::succeeded(writeIdleAutostart("/opt/my \"saver\"/orbelune")));
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("[Desktop Entry]\nType=Application\n"), std::string::npos);
  // Quoted, then escaped again as a string.
  EXPECT_NE(text.str().find("\nExec=\"/opt/my \\\\\"saver\\\\\"/orbelune\" idle\n"), std::string::npos) << text.str();
  ASSERT_TRUE(test::succeeded(removeIdleAutostart()));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(test::succeeded(removeIdleAutostart()));  // none is no error
}

// The program's folder may hold what a home folder's name can (the README
// suggests installing under ~/.local): every reader of the entry must run that
// program, or the entry is refused with the reason and not written.
TEST_F(IdleCommandTest, EveryReaderOfTheAutostartEntryRunsTheProgramWhateverItsFolderIsCalled) {
  // scripts/install-deps installs all three; a build root without them skips.
  for (const char* reader : {"/usr/bin/desktop-file-validate", "/usr/bin/gio",
                             "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator"}) {
    if (access(reader, X_OK) != 0) GTEST_SKIP() << "no " << reader;
  }
  const auto record = configHome() / "record";
  const std::string readers = std::string(ORBELUNE_SOURCE_DIR) + "/tests/autostart_readers.sh";
  for (const char* name : {"plain", "my \"saver\"", "$HOME and ${HOME}", "`id`", "it's", "a b#;&|<>~*?()=[]{}",
                           "\xc3\xa9t\xc3\xa9", "-dash", "quote\"$`all"}) {
    const auto folder = configHome() / "bin" / name;
    std::filesystem::create_directories(folder);
    const auto program = folder / "orbelune";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" << record.string() << "'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    ASSERT_TRUE(test::succeeded(writeIdleAutostart(program))) << name;
    const std::string command = "'" + readers + "' '" + idleAutostartFile().string() + "' \"$ORBELUNE_PROGRAM\" '" +
                                record.string() + "'";
    setenv("ORBELUNE_PROGRAM", program.c_str(), 1);
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
  }
  unsetenv("ORBELUNE_PROGRAM");
  ASSERT_TRUE(test::succeeded(removeIdleAutostart()));
  for (const char* bad : {"/opt/back\\slash/orbelune", "/opt/100%/orbelune", "/opt/%u/orbelune",
                          "/opt/new\nline/orbelune", "/opt/tab\t/orbelune", "/opt/\xff/orbelune"}) {
    auto written = writeIdleAutostart(bad);
    ASSERT_FALSE(written.ok()) << bad;
    EXPECT_NE(written.error().message.find("the path /opt/"), std::string::npos) << written.error().message;
    EXPECT_EQ(written.error().message.find('\n'), std::string::npos) << written.error().message;
    EXPECT_FALSE(std::filesystem::exists(idleAutostartFile())) << bad;
  }
}

TEST_F(IdleCommandTest, AWatcherIsRunningWhileItsLockIsHeldAndNotAfter) {
  setenv("WAYLAND_DISPLAY", "wayland-test", 1);
  const auto found = idleWatcherLockFile();
  ASSERT_TRUE(found.ok()) << found.error().message;
  const auto lock = *found;
  EXPECT_EQ(lock.parent_path(), runtime_);
  EXPECT_NE(lock.filename().string().find("wayland-test"), std::string::npos);
  EXPECT_FALSE(runningIdleWatcher());  // no file
  const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "4242\n", 5), 5);
  EXPECT_FALSE(runningIdleWatcher());  // a file nobody holds: a watcher that ended
  // Another process holds it, as a running watcher does.
  const pid_t holder = fork();
  if (holder == 0) {
    const int own = open(lock.c_str(), O_RDWR);
    flock(own, LOCK_EX);
    pause();
    _exit(0);
  }
  for (int i = 0; i < 100 && !runningIdleWatcher(); ++i) usleep(10000);
  EXPECT_EQ(runningIdleWatcher(), 4242);
  std::ostringstream out, err;
  EXPECT_EQ(runIdleCommand({"--after", "1h"}, out, err), 0);  // a second watcher steps aside
  EXPECT_EQ(out.str(), "orbelune idle: already watching this session (process 4242)\n");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(runningIdleWatcher());
  close(fd);
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
}  // namespace orbelune
