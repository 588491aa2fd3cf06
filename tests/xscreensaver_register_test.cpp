#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/xscreensaver_register.h"
#include "test_support.h"

namespace orbelune {
namespace {

const std::string kOrdinary =
    "# XScreenSaver Preferences File\n"
    "timeout:\t0:10:00\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
    "  GL: \t\t\t\tsuperquadrics -root\t\t    \\n\\\n"
    "-\t\t\"Qix (solid)\" \tqix -root -solid\t\t    \\n\\\n"
    "\t\t\t\txanalogtv -root\t\t\t    \\n\n"
    "\n"
    "pointerHysteresis:\t10\n";

class XScreenSaverRegisterTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    setenv("HOME", configHome().c_str(), 1);
    setenv("ORBELUNE_XSCREENSAVER_DEFAULTS", (configHome() / "no-app-defaults").c_str(), 1);
  }
  std::filesystem::path file() const { return configHome() / ".xscreensaver"; }
  std::string read(const std::filesystem::path& p) const {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void write(const std::string& text) const { std::ofstream(file()) << text; }
  int run(std::vector<std::string> args = {}) {
    std::ostringstream o, e;
    int status = runXScreenSaverRegister(args, o, e);
    out = o.str();
    err = e.str();
    return status;
  }
  std::string out, err;
};

TEST_F(XScreenSaverRegisterTest, AnOrdinaryFileGainsOneLineAndLosesItAgainByteForByte) {
  write(kOrdinary);
  ASSERT_EQ(run(), 0) << err;
  const std::string added = read(file());
  std::string expected = kOrdinary;
  const std::string header = "programs:\t\t\t\t\t\t\t\t      \\\n";
  expected.insert(expected.find(header) + header.size(), xss::kEntryLine);
  EXPECT_EQ(added, expected);
  EXPECT_EQ(read(file().string() + ".orbelune.bak"), kOrdinary);
  EXPECT_NE(out.find("Added"), std::string::npos);

  ASSERT_EQ(run(), 0);  // a second time: nothing changes
  EXPECT_EQ(read(file()), added);
  EXPECT_NE(out.find("already"), std::string::npos);

  ASSERT_EQ(run({"--unregister"}), 0);
  EXPECT_EQ(read(file()), kOrdinary);
  ASSERT_EQ(run({"--unregister"}), 0);
  EXPECT_NE(out.find("not in"), std::string::npos);
}

TEST_F(XScreenSaverRegisterTest, AnEntryAddedByHandCountsAndCanBeRemovedFromTheListsEnd) {
  std::string text = kOrdinary;
  const std::string last = "\t\t\t\txanalogtv -root\t\t\t    \\n\n";
  text.replace(text.find(last), last.size(),
               "\t\t\t\txanalogtv -root\t\t\t    \\n\\\n  -  \"My Orbelune\" /usr/bin/orbelune -root -fit \\n\n");
  write(text);
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(read(file()), text);  // a disabled entry of its own still counts
  ASSERT_EQ(run({"--unregister"}), 0);
  std::string expected = kOrdinary;  // the line before it now ends the list
  EXPECT_EQ(read(file()), expected);
}

TEST_F(XScreenSaverRegisterTest, AMissingFileIsCreatedFromXScreenSaversOwnList) {
  std::ofstream(configHome() / "XScreenSaver") << "*timeout: 0:10:00\n*programs:\t\\\n  maze -root \\n\\\n  qix -root \\n\n*x: 1\n";
  setenv("ORBELUNE_XSCREENSAVER_DEFAULTS", (configHome() / "XScreenSaver").c_str(), 1);
  ASSERT_EQ(run(), 0) << err;
  const std::string made = read(file());
  EXPECT_NE(made.find(std::string("programs:\t\t\t\t\t\t\t\t      \\\n") + xss::kEntryLine + "  maze -root \\n\\\n  qix -root \\n\n"),
            std::string::npos)
      << made;
  EXPECT_EQ(made.find("*x"), std::string::npos);
  EXPECT_EQ(run(), 0);
  EXPECT_NE(out.find("already"), std::string::npos);

  std::filesystem::remove(file());
  setenv("ORBELUNE_XSCREENSAVER_DEFAULTS", (configHome() / "none").c_str(), 1);
  ASSERT_EQ(run(), 0);
  EXPECT_NE(read(file()).find("programs:"), std::string::npos);
  EXPECT_EQ(run({"--unregister"}), 0);
}

TEST_F(XScreenSaverRegisterTest, AFileItCannotParseIsLeftUntouched) {
  for (const std::string& text : {std::string("timeout: 0:10:00\n"), std::string("programs: \\\n  maze -root \\n\\\n"),
                                  std::string("programs:\0\\\n", 13)}) {
    write(text);
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err.find("left as it is"), std::string::npos) << err;
    EXPECT_EQ(read(file()), text);
    EXPECT_FALSE(std::filesystem::exists(file().string() + ".orbelune.bak"));
    EXPECT_EQ(run({"--unregister"}), 1);
  }
  EXPECT_EQ(run({"--bogus"}), 2);
}

}  // namespace
}  // namespace orbelune
