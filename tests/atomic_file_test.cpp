#include "store/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>

#include "test_support.h"

namespace orbelune {
namespace {
namespace fs = std::filesystem;

class AtomicFileTest : public test::IsolatedTest {
 protected:
  fs::path file(const char* name) const { return configHome() / name; }
  static std::string contents(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  int entries() const {
    int n = 0;
    for (auto& e : fs::directory_iterator(configHome())) (void)e, ++n;
    return n;
  }
};

// Each failing call in turn; the step it stands for is in the name.
struct FailingStep {
  const char* name;
  void (*install)(atomic_file::Syscalls&);
};
int failOpenOfNewFiles(const char* path, int flags, mode_t mode) {
  if (flags & O_CREAT) return errno = ENOSPC, -1;
  return ::open(path, flags, mode);
}
ssize_t failWrite(int, const void*, std::size_t) { return errno = ENOSPC, -1; }
// A disk that takes one byte at a time and then is full.
ssize_t writeOneByteThenFail(int fd, const void* data, std::size_t) {
  static int calls = 0;
  if (++calls % 3 == 0) return errno = ENOSPC, -1;
  return ::write(fd, data, 1);
}
int failFsync(int) { return errno = EIO, -1; }
int failClose(int fd) {
  ::close(fd);
  return errno = EIO, -1;
}
int failRename(const char*, const char*) { return errno = EXDEV, -1; }

const FailingStep kSteps[] = {
    {"creating the temporary file", [](atomic_file::Syscalls& c) { c.open = failOpenOfNewFiles; }},
    {"writing", [](atomic_file::Syscalls& c) { c.write = failWrite; }},
    {"writing after short writes", [](atomic_file::Syscalls& c) { c.write = writeOneByteThenFail; }},
    {"flushing", [](atomic_file::Syscalls& c) { c.fsync = failFsync; }},
    {"closing", [](atomic_file::Syscalls& c) { c.close = failClose; }},
    {"renaming", [](atomic_file::Syscalls& c) { c.rename = failRename; }},
};

TEST_F(AtomicFileTest, AFailureAtAnyStepLeavesTheOldFileAndNoTemporaryAndSaysWhy) {
  const fs::path target = file("settings.json");
  for (const auto& step : kSteps) {
    std::ofstream(target) << "old contents";
    atomic_file::Syscalls calls = atomic_file::realSyscalls();
    step.install(calls);
    atomic_file::setSyscallsForTesting(&calls);
    const auto written = atomic_file::write(target, "new contents");
    atomic_file::setSyscallsForTesting(nullptr);
    ASSERT_FALSE(written.ok()) << step.name;
    EXPECT_NE(written.error().message.find(target.filename().string()), std::string::npos)
        << step.name << ": " << written.error().message;
    EXPECT_EQ(contents(target), "old contents") << step.name;
    EXPECT_EQ(entries(), 1) << step.name;
  }
}

TEST_F(AtomicFileTest, ShortWritesAreCompletedAndTheNewFileIsWhole) {
  static auto oneByte = [](int fd, const void* data, std::size_t) { return ::write(fd, data, 1); };
  atomic_file::Syscalls calls = atomic_file::realSyscalls();
  calls.write = +oneByte;
  atomic_file::setSyscallsForTesting(&calls);
  EXPECT_TRUE(test::succeeded(atomic_file::write(file("a"), "several bytes")));
  atomic_file::setSyscallsForTesting(nullptr);
  EXPECT_EQ(contents(file("a")), "several bytes");
}

TEST_F(AtomicFileTest, ALinkedFileIsUpdatedWhereItLivesAndItsModeIsKept) {
  fs::create_directories(file("dotfiles"));
  const fs::path real = file("dotfiles") / "settings.json";
  std::ofstream(real) << "old";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("dotfiles/settings.json", file("settings.json"));
  ASSERT_TRUE(test::succeeded(atomic_file::write(file("settings.json"), "new")));
  EXPECT_TRUE(fs::is_symlink(file("settings.json")));
  EXPECT_EQ(contents(real), "new");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(AtomicFileTest, ANewFileTakesTheRequestedModeLessTheUmask) {
  const mode_t old = ::umask(022);
  EXPECT_TRUE(test::succeeded(atomic_file::write(file("public"), "x", {{}, 0666})));
  EXPECT_TRUE(test::succeeded(atomic_file::write(file("private"), "x", {{}, 0600})));
  ::umask(old);
  struct stat st {};
  ::stat(file("public").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ::stat(file("private").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(AtomicFileTest, TheBackupHoldsThePreviousContents) {
  std::ofstream(file("rc")) << "first";
  const atomic_file::WriteOptions keep{file("rc.bak")};
  ASSERT_TRUE(test::succeeded(atomic_file::write(file("rc"), "second", keep)));
  ASSERT_TRUE(test::succeeded(atomic_file::write(file("rc"), "third", keep)));
  EXPECT_EQ(contents(file("rc")), "third");
  EXPECT_EQ(contents(file("rc.bak")), "second");
}

TEST_F(AtomicFileTest, OnlyRegularFilesWithinTheLimitAreRead) {
  auto missing = atomic_file::read(file("missing"));
  ASSERT_TRUE(missing.ok());
  EXPECT_FALSE(missing->has_value());
  ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
  // A FIFO nobody writes to would block a plain read for ever.
  auto fifo = atomic_file::read(file("fifo"));
  ASSERT_FALSE(fifo.ok());
  EXPECT_NE(fifo.error().message.find("fifo"), std::string::npos);
  EXPECT_FALSE(atomic_file::read(configHome()).ok());
  std::ofstream(file("big")) << std::string(100, 'x');
  EXPECT_FALSE(atomic_file::read(file("big"), 99).ok());
  auto whole = atomic_file::read(file("big"), 100);
  ASSERT_TRUE(whole.ok() && whole->has_value());
  EXPECT_EQ((*whole)->size(), 100u);
  EXPECT_FALSE(atomic_file::write(file("fifo"), "x").ok());  // nor is one replaced
  EXPECT_TRUE(fs::is_fifo(file("fifo")));
}

TEST_F(AtomicFileTest, AFolderLockExcludesOtherWritersUntilReleased) {
  auto tryLock = [&] {
    const int fd = ::open(configHome().c_str(), O_RDONLY | O_DIRECTORY);
    const bool got = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return got;
  };
  {
    atomic_file::FolderLock lock(file("settings.json"));
    ASSERT_TRUE(lock.held());
    EXPECT_FALSE(tryLock());
  }
  EXPECT_TRUE(tryLock());
  EXPECT_FALSE(atomic_file::FolderLock(configHome() / "no" / "such" / "file").held());
}

// A folder that may be written but not read (root ignores modes, so the seam
// stands in for one): writers take turns through a lock file instead.
int refuseToOpenFolders(const char* path, int flags, mode_t mode) {
  if (flags & O_DIRECTORY) return errno = EACCES, -1;
  return ::open(path, flags, mode);
}

TEST_F(AtomicFileTest, AFolderThatCannotBeReadIsLockedThroughALockFile) {
  atomic_file::Syscalls calls = atomic_file::realSyscalls();
  calls.open = refuseToOpenFolders;
  atomic_file::setSyscallsForTesting(&calls);
  {
    atomic_file::FolderLock lock(file("settings.json"));
    EXPECT_TRUE(lock.held());
    EXPECT_TRUE(fs::exists(file("settings.json.lock")));
    atomic_file::FolderLock other(file("settings.json"), std::chrono::milliseconds(50));
    EXPECT_FALSE(other.held());
    EXPECT_TRUE(other.busy());
  }
  EXPECT_TRUE(atomic_file::FolderLock(file("settings.json")).held());  // released with the first
  atomic_file::setSyscallsForTesting(nullptr);
}

}  // namespace
}  // namespace orbelune
