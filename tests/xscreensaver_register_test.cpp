#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "cli/xscreensaver_register.h"
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

TEST_F(XScreenSaverRegisterTest, OneLineListsAndWindowsLineEndsComeBackByteForByte) {
  for (const std::string& text :
       {std::string("programs: alpha --root\n"), std::string("programs: alpha --root"),
        std::string("timeout: 0:10:00\r\nprograms: alpha --root\r\nlock: False\r\n"),
        std::string("programs:\t\\\r\n  maze -root \\n\\\r\n  qix -root \\n\r\n")}) {
    write(text);
    ASSERT_EQ(run(), 0) << err;
    const std::string added = read(file());
    // The entry is a line of the list, with the file's own line ends.
    bool already = false;
    EXPECT_EQ(xss::addEntry(added, already), added);
    EXPECT_TRUE(already) << added;
    if (text.find("\r\n") != std::string::npos) {
      for (std::size_t at = added.find('\n'); at != std::string::npos; at = added.find('\n', at + 1)) {
        EXPECT_EQ(added[at - 1], '\r') << added;
      }
    }
    ASSERT_EQ(run({"--unregister"}), 0) << err;
    EXPECT_EQ(read(file()), text);
  }
}

TEST_F(XScreenSaverRegisterTest, TheBackupReplacesALinkRatherThanWritingThroughIt) {
  write(kOrdinary);
  const auto precious = configHome() / "precious";
  std::ofstream(precious) << "not to be overwritten";
  std::filesystem::create_symlink(precious, file().string() + ".orbelune.bak");
  ASSERT_EQ(run(), 0) << err;
  EXPECT_EQ(read(precious), "not to be overwritten");
  EXPECT_FALSE(std::filesystem::is_symlink(file().string() + ".orbelune.bak"));
  EXPECT_EQ(read(file().string() + ".orbelune.bak"), kOrdinary);
}

TEST_F(XScreenSaverRegisterTest, AReadOnlyFileOrAFifoIsLeftAsItIs) {
  write(kOrdinary);
  std::filesystem::permissions(file(), std::filesystem::perms::owner_read);
  EXPECT_EQ(run(), 1);
  EXPECT_NE(err.find("read-only"), std::string::npos) << err;
  EXPECT_EQ(read(file()), kOrdinary);
  std::filesystem::remove(file());
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  EXPECT_EQ(run(), 1);  // at once: nobody writes to the FIFO
  EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::is_fifo(file()));
}

}  // namespace
}  // namespace orbelune
