#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/defaults_command.h"
#include "store/screen_saver_defaults.h"
#include "test_support.h"

namespace orbelune {
namespace {

class DefaultsCommandTest : public test::IsolatedTest {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };
  Result run(std::vector<std::string> args) {
    std::ostringstream out, err;
    int status = runDefaultsCommand(args, out, err);
    return {status, out.str(), err.str()};
  }
};

TEST_F(DefaultsCommandTest, WriteReadAndDeleteEveryType) {
  EXPECT_EQ(run({"write", "SweepMethod", "-int", "2"}).status, 0);
  EXPECT_EQ(run({"write", "SweepRate", "--float", "0.1"}).status, 0);
  EXPECT_EQ(run({"write", "FigureSize", "-float", "1"}).status, 0);
  EXPECT_EQ(run({"write", "ShowFrequency", "-bool", "false"}).status, 0);
  EXPECT_EQ(run({"write", "Blob", "-data", "00FFa0"}).status, 0);
  EXPECT_EQ(run({"write", "Keyed_LineColor", "-color", "1,0.5,0,1"}).status, 0);
  EXPECT_EQ(run({"write", "BackColor", "-color", "0,0,0.25,1"}).status, 0);

  auto all = run({"read"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("Blob = 00ffa0\nFigureSize = 1.0\n"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("ShowFrequency = false\nSweepMethod = 2\nSweepRate = 0.1\n"), std::string::npos) << all.out;
  EXPECT_EQ(run({"read", "SweepRate"}).out, "0.1\n");
  EXPECT_EQ(run({"read-color", "Keyed_LineColor"}).out, "1.0 0.5 0.0 1.0\n");
  EXPECT_EQ(run({"read-color", "BackColor"}).out, "0.0 0.0 0.25 1.0\n");
  EXPECT_EQ(run({"read-color", "Blob"}).status, 1);
  // A keyed archive read as legacy (the key decides the format) does not decode.
  EXPECT_EQ(run({"write", "LineColor", "-data", "7b7d"}).status, 0);
  EXPECT_EQ(run({"read-color", "LineColor"}).status, 1);

  EXPECT_EQ(run({"delete", "Blob"}).status, 0);
  auto missing = run({"read", "Blob"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Blob"), std::string::npos);
  EXPECT_EQ(run({"delete", "Blob"}).status, 1);
}

TEST_F(DefaultsCommandTest, BadUsageExitsWithTwoAndOneLineAndLeavesTheStore) {
  ASSERT_EQ(run({"write", "A", "-float", "1.5"}).status, 0);
  const std::string before = readStoreFile();
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"read", "A", "B"},
      {"write", "A", "-float"},
      {"write", "A", "-float", "nan"},
      {"write", "A", "-float", "inf"},
      {"write", "A", "-float", "1e999"},
      {"write", "A", "-float", "1.5x"},
      {"write", "A", "-int", "1.5"},
      {"write", "A", "-int", "99999999999999999999"},
      {"write", "A", "-bool", "maybe"},
      {"write", "A", "-data", "abc"},
      {"write", "A", "-data", "zz"},
      {"write", "A", "-color", "1,1,1"},
      {"write", "A", "-color", "1,1,1,1,"},
      {"write", "A", "-color", "1,1,1.5,1"},
      {"write", "A", "-color", "1,1,-0.1,1"},
      {"write", "A", "-colour", "1,1,1,1"},
      {"write", "A", "1.5", "2"},
      {"delete"},
  };
  for (const auto& args : bad) {
    auto r = run(args);
    std::string joined;
    for (auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << joined << ": " << r.err;
    EXPECT_EQ(r.out, "") << joined;
  }
  EXPECT_EQ(readStoreFile(), before);
}

TEST_F(DefaultsCommandTest, AFailedWriteExitsWithOneAndKeepsTheOldFile) {
  ASSERT_EQ(run({"write", "A", "-float", "1.5"}).status, 0);
  const std::string before = readStoreFile();
  test::FailingRenames failing;
  auto r = run({"write", "A", "-float", "2.5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos);
  EXPECT_EQ(readStoreFile(), before);
}

TEST_F(DefaultsCommandTest, HelpDescribesEveryVerb) {
  auto r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"read", "read-color", "write", "delete", "-color R,G,B,A", "-data HEX"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

TEST_F(DefaultsCommandTest, WhatAFileHoldsIsShownEscapedAndEveryEntryCanBeReadAndDeleted) {
  writeStoreFile(R"({"A\nB = 1\u001b[31m": {"integer": 5}, "Later": {"quaternion": [1, 2, 3, 4]},
                     "Text": {"string": "tab\there\\"}})");
  auto all = run({"read"});
  EXPECT_EQ(all.out,
            "A\\nB = 1\\x1b[31m = 5\n"
            "Later = {\"quaternion\":[1,2,3,4]}\n"
            "Text = tab\\there\\\\\n");
  // An entry of an unknown type reads as its JSON and can be deleted.
  EXPECT_EQ(run({"read", "Later"}).out, "{\"quaternion\":[1,2,3,4]}\n");
  EXPECT_EQ(run({"delete", "Later"}).status, 0);
  EXPECT_EQ(run({"read", "Later"}).status, 1);
  EXPECT_EQ(run({"read", "Text"}).out, "tab\\there\\\\\n");
}

TEST_F(DefaultsCommandTest, AKeyThatIsNotUtf8IsRefusedAndNothingIsWritten) {
  auto r = run({"write", "\xff\xfe", "-int", "1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("\\xff\\xfe"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
  EXPECT_EQ(run({"write", "Grüße", "-int", "1"}).status, 0);
  EXPECT_EQ(run({"read", "Grüße"}).out, "1\n");
}

TEST_F(DefaultsCommandTest, OutputThatCannotBeWrittenIsAFailure) {
  ASSERT_EQ(run({"write", "A", "-int", "1"}).status, 0);
  const std::string command = std::string(ORBELUNE_BINARY) + " defaults read >/dev/full 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
}

TEST_F(DefaultsCommandTest, AStoreLockedByAStoppedProgramFailsWritesWithOneLineInsteadOfHanging) {
  ASSERT_EQ(run({"write", "A", "-int", "1"}).status, 0);
  const std::string before = readStoreFile();
  // Released after 25 s: the command's own bound is 5 s a run.
  test::StoppedLockHolder holder(storeFile().parent_path(), std::chrono::seconds(25));
  ASSERT_TRUE(holder.holding());
  const std::string err = (configHome() / "err").string();
  for (const std::string args : {"write A -float 2", "delete A"}) {
    const auto start = std::chrono::steady_clock::now();
    const std::string command = std::string(ORBELUNE_BINARY) + " defaults " + args + " 2>" + err;
    const int status = std::system(command.c_str());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(WEXITSTATUS(status), 1) << args;
    EXPECT_LT(waited, std::chrono::seconds(9)) << args;
    std::ifstream in(err);
    const std::string said{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(said, "orbelune defaults: cannot write " + storeFile().string() +
                                       ": the settings file is locked by another program\n")
        << args;
  }
  EXPECT_EQ(readStoreFile(), before);
}

TEST_F(DefaultsCommandTest, WithoutHomeTheStoreIsInThePasswordDatabasesHome) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  const std::filesystem::path dir = ScreenSaverDefaults::configDirectory();
  if (home) setenv("HOME", savedHome.c_str(), 1);
  EXPECT_TRUE(dir.is_absolute()) << dir;
  EXPECT_NE(dir, std::filesystem::path("/.config/orbelune"));
}

}  // namespace
}  // namespace orbelune
