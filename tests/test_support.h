#pragma once
#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "oscillator/sweep_parameters.h"
#include "base/result.h"
#include "contracts/controls.h"
#include "store/screen_saver_defaults.h"
#include "view/orbelune_view.h"

namespace orbelune::test {

// What a run of the orbelune program said and how it ended.
struct Run {
  int status;  // its exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// Runs the orbelune program built with the tests, as a user or script would:
// `args` are read by the shell (quote what needs it).
Run runOrbelune(const std::string& args);

// Passes when an action succeeded, and shows why it did not otherwise.
inline ::testing::AssertionResult succeeded(const Result<void>& result) {
  if (result) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << result.error().message;
}

// Changes a view's settings as the sheet and the command line do: a copy of
// them, edited and applied whole.
template <class Edit>
void editSettings(OrbeluneView& view, Edit edit) {
  Settings s = view.settings();
  edit(s);
  view.applySettings(s);
}

// Each test gets an empty config folder of its own ($XDG_CONFIG_HOME, for the
// commands it runs), a settings store on a file in it that its views and
// sheets share as a host's do, its own sweep parameters, the current system's
// colour format and the real system calls.
class IsolatedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path configHome() const { return home_; }
  // The sweep parameters the views a test makes share, as a host's views do.
  SweepParameters& sweep() const { return *sharedSweep_; }
  std::unique_ptr<OrbeluneView> newView(const Rect& frame, bool isPreview = false,
                                         std::shared_ptr<Clock> clock = nullptr) {
    return OrbeluneView::create(frame, isPreview, hostStore(), std::move(clock), sharedSweep_);
  }
  // The store the test's views and sheets are handed, opened on first use.
  const std::shared_ptr<ScreenSaverDefaults>& hostStore();
  // A store of its own on the same file: what another program reads there now.
  std::shared_ptr<ScreenSaverDefaults> openStore() const;
  std::filesystem::path storeFile() const;
  void writeStoreFile(const std::string& text) const;
  std::string readStoreFile() const;

 private:
  std::filesystem::path home_;
  std::shared_ptr<ScreenSaverDefaults> hostStore_;
  std::shared_ptr<SweepParameters> sharedSweep_ = std::make_shared<SweepParameters>();
};

// While alive, every atomic file write fails at its rename, as on a failing
// disk: the write must leave the old file and no temporary behind.
class FailingRenames {
 public:
  FailingRenames();
  ~FailingRenames();
  FailingRenames(const FailingRenames&) = delete;
  FailingRenames& operator=(const FailingRenames&) = delete;
};

// Another program holding the lock on `folder` (as a writer does during its
// read-modify-write) and then stopped, as by SIGSTOP or a debugger, so that it
// never lets go by itself. It is killed, which releases the lock, after
// `release` at the latest (so that a writer that waits without a bound fails
// its test instead of hanging it) or when this object ends.
class StoppedLockHolder {
 public:
  StoppedLockHolder(const std::filesystem::path& folder, std::chrono::milliseconds release);
  ~StoppedLockHolder();
  StoppedLockHolder(const StoppedLockHolder&) = delete;
  StoppedLockHolder& operator=(const StoppedLockHolder&) = delete;
  // The holder had the lock and stopped.
  bool holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
  int done_[2] = {-1, -1};  // the watchdog waits on it: closed when this object ends
  std::thread watchdog_;
};

}  // namespace orbelune::test
