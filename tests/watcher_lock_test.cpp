// The idle watcher's lock against other users and other spellings of one
// display, and the switch's signal that reaches only this user's watcher.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "activation/display_identity.h"
#include "activation/private_folder.h"
#include "activation/watcher_lock.h"
#include "activation/watcher_stop.h"
#include "cli/idle_command.h"
#include "test_support.h"

namespace orbelune {
namespace {
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// A child process that runs `body` and then waits to be killed.
class Child {
 public:
  template <class Body>
  explicit Child(Body body) {
    pid_ = fork();
    if (pid_ == 0) {
      body();
      for (;;) pause();
    }
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  bool alive() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

class WatcherLockTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    const char* tmp = std::getenv("TMPDIR");
    savedTmp_ = tmp ? tmp : "";
    // A shared folder as /tmp is: anyone may make files, none may remove another's.
    shared_ = configHome() / "shared";
    fs::create_directories(shared_);
    chmod(shared_.c_str(), 01777);
    chmod(configHome().c_str(), 0755);
    setenv("TMPDIR", shared_.c_str(), 1);
    runtime_ = configHome() / "run";
    fs::create_directories(runtime_);
    chmod(runtime_.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", ":77", 1);
  }
  void TearDown() override {
    if (savedTmp_.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", savedTmp_.c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("DISPLAY");
    IsolatedTest::TearDown();
  }
  fs::path ownFallback() const { return shared_ / ("orbelune-" + std::to_string(getuid())); }
  static bool root() { return getuid() == 0; }
  fs::path lockPath() {
    auto p = idleWatcherLockFile();
    EXPECT_TRUE(p.ok()) << p.error().message;
    return p ? *p : fs::path();
  }

  fs::path shared_, runtime_;
  std::string savedTmp_;
};

TEST_F(WatcherLockTest, TheLockLivesInTheRuntimeFolderOnlyWhenItIsPrivateElseInAFolderOfItsOwn) {
  auto lock = takeIdleWatcherLock();
  ASSERT_TRUE(lock.ok()) << lock.error().message;
  EXPECT_TRUE(lock->held.valid());
  EXPECT_EQ(lockPath().parent_path(), runtime_);
  lock->held.reset();

  // A runtime folder others may enter, a missing one, a file, one not absolute,
  // a symbolic link to a private folder however the name ends ("link/" and
  // "link/." make open() follow it): the private folder beside the shared
  // temporary files, made 0700.
  chmod(runtime_.c_str(), 0755);
  std::ofstream(configHome() / "file") << "x";
  const fs::path target = configHome() / "private", link = configHome() / "link";
  fs::create_directory(target);
  chmod(target.c_str(), 0700);
  fs::create_directory_symlink(target, link);
  for (const fs::path& runtime : {runtime_, configHome() / "missing", configHome() / "file", fs::path("run"), link,
                                  fs::path(link.string() + "/"), fs::path(link.string() + "//."),
                                  fs::path(link.string() + "/./")}) {
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    auto taken = takeIdleWatcherLock();
    ASSERT_TRUE(taken.ok()) << runtime << ": " << taken.error().message;
    EXPECT_TRUE(taken->held.valid());
    EXPECT_EQ(lockPath().parent_path(), ownFallback()) << runtime;
    struct stat st {};
    ASSERT_EQ(lstat(ownFallback().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_TRUE(takeIdleWatcherLock().ok());
  EXPECT_EQ(lockPath().parent_path(), ownFallback());
}

TEST_F(WatcherLockTest, AFolderSomeoneElseMadeOrCanReachIsRefusedAndNoWatcherRunsWithoutItsLock) {
  unsetenv("XDG_RUNTIME_DIR");
  const fs::path own = ownFallback();
  auto refused = [&](const std::string& why) {
    auto taken = takeIdleWatcherLock();
    ASSERT_FALSE(taken.ok()) << why;
    EXPECT_NE(taken.error().message.find(own.string()), std::string::npos) << taken.error().message;
    // The watcher says why and does not watch ("no lock, watch anyway" ran a second one).
    std::ostringstream out, err;
    EXPECT_EQ(runIdleCommand({"--after", "1h"}, out, err), 1) << why;
    EXPECT_NE(err.str().find("no private folder for the watcher's lock"), std::string::npos) << err.str();
    EXPECT_FALSE(runningIdleWatcher());
  };
  // Open to others.
  fs::create_directory(own);
  chmod(own.c_str(), 0777);
  refused("mode 0777");
  chmod(own.c_str(), 0750);
  refused("mode 0750");
  fs::remove(own);
  // A symbolic link to a folder of this user's is still not the folder.
  fs::create_directory(configHome() / "elsewhere");
  chmod((configHome() / "elsewhere").c_str(), 0700);
  fs::create_directory_symlink(configHome() / "elsewhere", own);
  refused("a symbolic link");
  fs::remove(own);
  if (!root()) GTEST_SKIP() << "the other user's files need root to make";
  // Made first by another user, with the right mode.
  fs::create_directory(own);
  chmod(own.c_str(), 0700);
  ASSERT_EQ(chown(own.c_str(), kNobody, kNobody), 0);
  refused("another user's folder");
  fs::remove(own);
}

TEST_F(WatcherLockTest, APrivateFolderInAFolderOthersMayWriteInIsNoneForTheyMayRenameIt) {
  // Others may rename or remove what is in a folder they may write in, unless
  // it is sticky as /tmp is; and in what is in a folder another user owns.
  auto folderUsed = [&] {
    auto taken = takeIdleWatcherLock();
    EXPECT_TRUE(taken.ok()) << taken.error().message;
    return lockPath().parent_path();
  };
  const fs::path open = configHome() / "open";
  fs::create_directories(open / "run");
  chmod(open.c_str(), 0777);
  chmod((open / "run").c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (open / "run").c_str(), 1);
  EXPECT_EQ(folderUsed(), ownFallback());
  chmod(open.c_str(), 0770);
  EXPECT_EQ(folderUsed(), ownFallback());
  chmod(open.c_str(), 01777);
  EXPECT_EQ(folderUsed(), open / "run");
  // Two levels up counts too.
  fs::create_directories(open / "deeper" / "run");
  chmod((open / "deeper").c_str(), 0755);
  chmod((open / "deeper" / "run").c_str(), 0700);
  chmod(open.c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", (open / "deeper" / "run").c_str(), 1);
  EXPECT_EQ(folderUsed(), ownFallback());

  // TMPDIR so open: no watcher, and the message says why.
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", open.c_str(), 1);
  auto taken = takeIdleWatcherLock();
  ASSERT_FALSE(taken.ok());
  EXPECT_NE(taken.error().message.find("others may rename or remove"), std::string::npos) << taken.error().message;
  EXPECT_NE(taken.error().message.find(open.string()), std::string::npos) << taken.error().message;
  if (!root()) return;
  // A folder above that the user may pass through but not list is as safe.
  const fs::path passage = configHome() / "passage";
  fs::create_directories(passage / "run");
  chmod(passage.c_str(), 0711);
  ASSERT_EQ(chown((passage / "run").c_str(), kNobody, kNobody), 0);
  chmod((passage / "run").c_str(), 0700);
  const pid_t asNobody = fork();
  if (asNobody == 0) {
    if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) _exit(1);
    _exit(openPrivateFolder(passage / "run", false).ok() ? 0 : 2);
  }
  int status = -1;
  ASSERT_EQ(waitpid(asNobody, &status, 0), asNobody);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a runtime folder below a folder of mode 0711";
  chmod(open.c_str(), 0755);
  ASSERT_EQ(chown(open.c_str(), kNobody, kNobody), 0);
  EXPECT_FALSE(takeIdleWatcherLock().ok()) << "a folder in another user's folder";
  ASSERT_EQ(chown(open.c_str(), 0, 0), 0);
  EXPECT_TRUE(takeIdleWatcherLock().ok()) << "a folder in root's";
}

TEST_F(WatcherLockTest, AnotherUsersLockFileInTheOldSharedPlaceNeitherStopsTheWatcherNorIsSignalled) {
  if (!root()) GTEST_SKIP() << "another user's process needs root to make";
  unsetenv("XDG_RUNTIME_DIR");
  // "nobody" makes the lock name this user's watcher once used in the shared
  // folder, holds it and names a process of this user's in it.
  Child decoy([] {});
  const fs::path planted = shared_ / ("orbelune-idle-" + std::to_string(getuid()) + "-x11-:77.lock");
  Child attacker([&] {
    if (setresgid(kNobody, kNobody, kNobody) != 0 || setresuid(kNobody, kNobody, kNobody) != 0) _exit(1);
    const int fd = open(planted.c_str(), O_RDWR | O_CREAT, 0666);
    flock(fd, LOCK_EX);
    const std::string pid = std::to_string(decoy.pid()) + "\n";
    [[maybe_unused]] auto w = write(fd, pid.data(), pid.size());
  });
  for (int i = 0; i < 100 && !fs::exists(planted); ++i) usleep(10000);
  ASSERT_TRUE(fs::exists(planted));
  auto lock = takeIdleWatcherLock();
  ASSERT_TRUE(lock.ok()) << lock.error().message;
  EXPECT_TRUE(lock->held.valid()) << "the planted lock stopped the watcher";
  EXPECT_EQ(lockPath().parent_path(), ownFallback());
  EXPECT_EQ(runningIdleWatcher(), getpid());
  lock->held.reset();
  EXPECT_TRUE(stopIdleWatcher().ok());  // nothing holds this user's lock: nothing to stop
  EXPECT_TRUE(decoy.alive());
}

TEST_F(WatcherLockTest, ACleanerOfOldTemporaryFilesPassesTheFolderOfAHeldLockBy) {
  // Debian ages /tmp (systemd-tmpfiles, 10 days): a watcher running longer
  // would lose its lock and folder, and the next one would run beside it.
  const std::string cleaner = "/usr/bin/systemd-tmpfiles";
  if (access(cleaner.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << cleaner;
  unsetenv("XDG_RUNTIME_DIR");
  auto lock = takeIdleWatcherLock();
  ASSERT_TRUE(lock.ok() && lock->held.valid());
  const fs::path file = lockPath();
  // Untouched for 20 days (the change time cannot be set back, so the rule ages by access and change of contents).
  const timespec old[2] = {{time(nullptr) - 20 * 86400, 0}, {time(nullptr) - 20 * 86400, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, file.parent_path().c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
  const fs::path rule = configHome() / "age.conf";
  std::ofstream(rule) << "e " << shared_.string() << " - - - amAM:10d\n";
  const std::string command = cleaner + " --clean " + rule.string() + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << cleaner << " --clean failed here";
  EXPECT_TRUE(fs::exists(file)) << "the cleaner removed the held lock";
  auto second = takeIdleWatcherLock();
  ASSERT_TRUE(second.ok()) << second.error().message;
  EXPECT_FALSE(second->held.valid()) << "a second watcher would run";
  EXPECT_EQ(second->holder, getpid());
}

TEST_F(WatcherLockTest, AReaderLookingAtTheLockAsAWatcherStartsDoesNotSendItAway) {
  // The switch looks for a running watcher by taking the lock shared for a
  // moment; a watcher starting then must not take that for another watcher.
  const fs::path file = lockPath();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    const int fd = open(file.c_str(), O_RDWR | O_CREAT, 0600);
    flock(fd, LOCK_SH);
    [[maybe_unused]] auto w = write(ready[1], "x", 1);
    usleep(100000);
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  auto lock = takeIdleWatcherLock();
  ASSERT_TRUE(lock.ok()) << lock.error().message;
  EXPECT_TRUE(lock->held.valid()) << "the watcher left while no other watched";
  waitpid(reader, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  // A watcher holding it sends a second one away at once.
  const auto before = std::chrono::steady_clock::now();
  auto second = takeIdleWatcherLock();
  ASSERT_TRUE(second.ok());
  EXPECT_FALSE(second->held.valid());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

TEST_F(WatcherLockTest, OneServerGetsOneLockHoweverTheEnvironmentSpellsIt) {
  const fs::path run = "/run/user/1000";
  // The number as the X library reads it: blanks and a sign before it too.
  for (const char* name : {":0", ":0.0", "unix:0", "unix:0.1", "unix/:0", "unix/myhost:0", "/tmp/.X11-unix/X0",
                           ":00", ": 0", ":+0", ":-0", ":\t0", ":0.+0", ":0.-0", ":0. 1", "unix: +00.0"}) {
    EXPECT_EQ(displayIdentity("", name, run), "x11:0") << name;
  }
  EXPECT_EQ(displayIdentity("", "host: +10", run), "x11-tcp:host:10");
  EXPECT_EQ(displayIdentity("", ":1", run), "x11:1");
  // Over TCP the name is another server's, even on this machine (an ssh forward).
  EXPECT_EQ(displayIdentity("", "localhost:10", run), "x11-tcp:localhost:10");
  EXPECT_EQ(displayIdentity("", "LocalHost:10.0", run), "x11-tcp:localhost:10");
  EXPECT_EQ(displayIdentity("", "tcp/localhost:10", run), "x11-tcp:localhost:10");
  EXPECT_NE(displayIdentity("", "localhost:10", run), displayIdentity("", ":10", run));
  for (const char* odd : {"0", ":x", ":0.x", "host::0", "decnet/host:0", "/elsewhere/X0", ":-1", ":+", ":0 ", ":0.",
                          ":+-0"}) {
    EXPECT_EQ(displayIdentity("", odd, run), std::string("x11-name:") + odd) << odd;
  }
  // Wayland's names are relative to the runtime folder unless absolute, and win over DISPLAY.
  EXPECT_EQ(displayIdentity("wayland-1", ":0", run), "wayland:/run/user/1000/wayland-1");
  EXPECT_EQ(displayIdentity("/run/user/1000/wayland-1", "", run), displayIdentity("wayland-1", "", run));
  EXPECT_EQ(displayIdentity("/run/user/1000/./x/../wayland-1", "", run), displayIdentity("wayland-1", "", run));
  EXPECT_NE(displayIdentity("wayland-2", "", run), displayIdentity("wayland-1", "", run));
  EXPECT_EQ(displayIdentity("", "", run), "");
  // File names: no separator, distinct identities stay distinct, length bounded.
  EXPECT_EQ(identityFileName("x11:0"), "x11%3A0");
  EXPECT_NE(identityFileName("a/b"), identityFileName("a_b"));
  EXPECT_EQ(identityFileName("wayland:/run/a").find('/'), std::string::npos);
  const std::string longA(400, 'a'), longB = longA + "b";
  EXPECT_LE(identityFileName(longA).size(), 200u);
  EXPECT_NE(identityFileName(longA), identityFileName(longB));

  // Two spellings of one display: the second watcher finds the first's lock.
  setenv("DISPLAY", ":5", 1);
  auto first = takeIdleWatcherLock();
  ASSERT_TRUE(first.ok() && first->held.valid());
  for (const char* same : {":5.0", "unix:5", "unix/:5.0"}) {
    setenv("DISPLAY", same, 1);
    auto second = takeIdleWatcherLock();
    ASSERT_TRUE(second.ok());
    EXPECT_FALSE(second->held.valid()) << same;
    EXPECT_EQ(second->holder, getpid()) << same;
  }
  setenv("DISPLAY", "localhost:5", 1);
  auto other = takeIdleWatcherLock();
  EXPECT_TRUE(other.ok() && other->held.valid());
}

// A listening socket that never answers: a Wayland client connected to it
// waits in its first round trip, as a watcher waiting for idle does.
class SilentCompositor {
 public:
  explicit SilentCompositor(const fs::path& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(fd_, 8), 0);
  }
  ~SilentCompositor() {
    close(fd_);
    unlink(path_.c_str());
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

TEST_F(WatcherLockTest, TheSwitchSignalsOnlyTheProcessThatIsThisUsersWatcherHoldingTheLock) {
  EXPECT_TRUE(stopIdleWatcher().ok());  // none running
  const fs::path lock = lockPath();
  auto holdNaming = [&](std::function<pid_t()> named) {
    return [&lock, named] {
      const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
      flock(fd, LOCK_EX);
      const std::string pid = std::to_string(named ? named() : getpid()) + "\n";
      [[maybe_unused]] auto w = pwrite(fd, pid.data(), pid.size(), 0);
    };
  };
  // Until the lock names `pid`: the holder of a block before may still be
  // going, holding the lock under the name it wrote.
  auto waitHeld = [&](pid_t pid) {
    for (int i = 0; i < 500 && runningIdleWatcher() != pid; ++i) usleep(10000);
  };
  {
    // The lock names a process of this user's that does not hold it.
    Child decoy([] {});
    const pid_t decoyPid = decoy.pid();
    Child holder(holdNaming([decoyPid] { return decoyPid; }));
    waitHeld(decoyPid);
    ASSERT_EQ(runningIdleWatcher(), decoyPid);
    auto stopped = stopIdleWatcher();
    ASSERT_FALSE(stopped.ok());
    EXPECT_NE(stopped.error().message.find("not orbelune idle"), std::string::npos) << stopped.error().message;
    usleep(50000);
    EXPECT_TRUE(decoy.alive());
    EXPECT_TRUE(holder.alive());
  }
  {
    // It names its holder, which is not `orbelune idle`.
    Child holder(holdNaming(nullptr));
    waitHeld(holder.pid());
    ASSERT_EQ(runningIdleWatcher(), holder.pid());
    EXPECT_FALSE(stopIdleWatcher().ok());
    usleep(50000);
    EXPECT_TRUE(holder.alive());
  }
  if (root()) {
    // It names another user's process.
    Child foreign([] {
      if (setresuid(kNobody, kNobody, kNobody) != 0) _exit(1);
    });
    const pid_t foreignPid = foreign.pid();
    usleep(50000);
    Child holder(holdNaming([foreignPid] { return foreignPid; }));
    waitHeld(foreignPid);
    auto stopped = stopIdleWatcher();
    ASSERT_FALSE(stopped.ok());
    EXPECT_NE(stopped.error().message.find("not this user's"), std::string::npos) << stopped.error().message;
    usleep(50000);
    EXPECT_TRUE(foreign.alive());
  }
  // This user's watcher itself, waiting on a compositor, is stopped (status 0).
  const fs::path socket = runtime_ / "wayland-silent";
  SilentCompositor compositor(socket);
  const pid_t watcher = fork();
  if (watcher == 0) {
    setenv("WAYLAND_DISPLAY", "wayland-silent", 1);
    execl(ORBELUNE_BINARY, "orbelune", "idle", "--after", "1h", static_cast<char*>(nullptr));
    _exit(127);
  }
  setenv("WAYLAND_DISPLAY", "wayland-silent", 1);
  for (int i = 0; i < 300 && runningIdleWatcher() != watcher; ++i) usleep(10000);
  ASSERT_EQ(runningIdleWatcher(), watcher);
  EXPECT_TRUE(stopIdleWatcher().ok());
  int status = -1;
  ASSERT_EQ(waitpid(watcher, &status, 0), watcher);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(runningIdleWatcher());
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
}  // namespace orbelune
