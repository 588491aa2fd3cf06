#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bundle_info.h"
#include "oscillator/oscillator.h"
#include "store/atomic_file.h"
#include "store/system_version.h"

namespace orbelune::test {

Run runOrbelune(const std::string& args) {
  std::string errFile = (std::filesystem::temp_directory_path() / "orbelune-err-XXXXXX").string();
  close(mkstemp(errFile.data()));
  const std::string command = std::string(ORBELUNE_BINARY) + " " + args + " 2>" + errFile;
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  if (p) {
    char buf[65536];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  }
  const int status = p ? pclose(p) : -1;
  std::ifstream e(errFile);
  std::stringstream err;
  err << e.rdbuf();
  std::remove(errFile.c_str());
  if (status == -1) return {-1, out, "cannot run " + command};
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out, err.str()};
}

void IsolatedTest::SetUp() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "orbelune-test-XXXXXX").string();
  home_ = mkdtemp(tmpl.data());
  setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  SystemVersion::overrideForTesting(std::nullopt);
  atomic_file::setSyscallsForTesting(nullptr);
}

void IsolatedTest::TearDown() {
  hostStore_.reset();
  SystemVersion::overrideForTesting(std::nullopt);
  atomic_file::setSyscallsForTesting(nullptr);
  std::error_code ec;
  std::filesystem::permissions(home_ / "orbelune", std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(home_, ec);
}

namespace {
int failingRename(const char*, const char*) {
  errno = EIO;
  return -1;
}
}  // namespace

FailingRenames::FailingRenames() {
  static atomic_file::Syscalls calls = [] {
    atomic_file::Syscalls c = atomic_file::realSyscalls();
    c.rename = failingRename;
    return c;
  }();
  atomic_file::setSyscallsForTesting(&calls);
}

FailingRenames::~FailingRenames() { atomic_file::setSyscallsForTesting(nullptr); }

const std::shared_ptr<ScreenSaverDefaults>& IsolatedTest::hostStore() {
  if (!hostStore_) hostStore_ = openStore();
  return hostStore_;
}

std::shared_ptr<ScreenSaverDefaults> IsolatedTest::openStore() const {
  return std::make_shared<ScreenSaverDefaults>(storeFile());
}

std::filesystem::path IsolatedTest::storeFile() const {
  return home_ / "orbelune" / (std::string(kBundleIdentifier) + ".json");
}

void IsolatedTest::writeStoreFile(const std::string& text) const {
  std::filesystem::create_directories(storeFile().parent_path());
  std::ofstream(storeFile()) << text;
}

std::string IsolatedTest::readStoreFile() const {
  std::ifstream in(storeFile());
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

StoppedLockHolder::StoppedLockHolder(const std::filesystem::path& folder, std::chrono::milliseconds release) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const char got = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!write(ready[1], &got, 1);
    close(ready[1]);
    for (;;) raise(SIGSTOP);
  }
  close(ready[1]);
  char got = 'n';
  if (pid_ > 0 && read(ready[0], &got, 1) == 1 && got == 'y') {
    // Stopped, with the lock: what a writer now finds.
    int status = 0;
    holding_ = waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
  }
  close(ready[0]);
  // Made after the fork, so that only this process holds its writing end.
  if (pid_ <= 0 || pipe2(done_, O_CLOEXEC) != 0) return;
  watchdog_ = std::thread([this, release] {
    pollfd p{done_[0], POLLIN, 0};
    poll(&p, 1, static_cast<int>(release.count()));
    kill(pid_, SIGKILL);
  });
}

StoppedLockHolder::~StoppedLockHolder() {
  if (done_[1] >= 0) close(done_[1]);
  if (watchdog_.joinable()) watchdog_.join();
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (done_[0] >= 0) close(done_[0]);
}

}  // namespace orbelune::test

