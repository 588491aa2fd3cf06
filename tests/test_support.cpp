#include "test_support.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bundle_info.h"
#include "oscillator/oscillator.h"
#include "store/atomic_file.h"
#include "store/system_version.h"

namespace orbelune::test {

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

}  // namespace orbelune::test
