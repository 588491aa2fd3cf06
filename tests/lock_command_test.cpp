// The front of orbelune lock: its flags, and that it claims no lock (status 1,
// one line) where nothing can lock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "cli/lock_command.h"

namespace orbelune {
namespace {

TEST(LockCommand, HelpAndUsageErrors) {
  std::ostringstream out, err;
  EXPECT_EQ(runLockCommand({"--help"}, out, err), 0);
  EXPECT_NE(out.str().find("usage: orbelune lock"), std::string::npos);
  EXPECT_NE(out.str().find("/etc/pam.d/orbelune"), std::string::npos);
  EXPECT_EQ(runLockCommand({"--bogus"}, out, err), 2);
  EXPECT_EQ(runLockCommand({"stray"}, out, err), 2);
  EXPECT_EQ(runLockCommand({"--line-width"}, out, err), 2) << "a settings flag without its value";
}

TEST(LockCommand, NoDisplayIsAFailureInOneLine) {
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("DISPLAY");
  std::ostringstream out, err;
  EXPECT_EQ(runLockCommand({"--verbose"}, out, err), 1);
  EXPECT_EQ(err.str(), "orbelune lock: no display (neither WAYLAND_DISPLAY nor DISPLAY is set)\n");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace orbelune
