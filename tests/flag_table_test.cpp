#include <gtest/gtest.h>

#include <sstream>

#include "cli/flag_table.h"
#include "test_support.h"

namespace orbelune {
namespace {

using test::runOrbelune;

TEST(FlagTableTest, HelpAndVersionAnswerWhereverTheyStandForEveryCommand) {
  const std::pair<const char*, const char*> lines[] = {
      {"--shuffle 1 --help", "usage: orbelune [SAVER FLAGS]"},
      {"--window --fps -h", "usage: orbelune [SAVER FLAGS]"},
      {"render --frames 3 --help", "usage: orbelune render"},
      {"idle --after 5m --verbose -help", "usage: orbelune idle"},
      {"defaults read --help", "usage: orbelune defaults VERB"},
      {"presets --help", "usage: orbelune presets"},
      {"xscreensaver-register --unregister --help", "usage: orbelune xscreensaver-register"},
      {"--shuffle 1 --version", "orbelune "},
      {"render --frames 3 -version", "orbelune "},
      {"idle --verbose --version", "orbelune "},
  };
  for (const auto& [args, start] : lines) {
    const auto run = runOrbelune(args);
    EXPECT_EQ(run.status, 0) << args << ": " << run.err;
    EXPECT_EQ(run.out.rfind(start, 0), 0u) << args << ": " << run.out.substr(0, 80);
    EXPECT_EQ(run.err, "") << args;
  }
}

TEST(FlagTableTest, AMissingValueSaysWhatTheFlagNeedsAndAnUnknownFlagWhereToLook) {
  const std::pair<const char*, const char*> lines[] = {
      {"--window-id", "orbelune: --window-id needs a window id\n"},
      {"--fps --scale", "orbelune: --scale needs a number from 0.5 to 8\n"},
      {"--scale 9", "orbelune: --scale needs a number from 0.5 to 8, not '9'\n"},
      {"--bogus", "orbelune: unknown flag '--bogus' (see orbelune --help)\n"},
      {"stray", "orbelune: unexpected argument 'stray'\n"},
      {"render --size", "orbelune render: --size needs WxH with whole numbers from 1 to 16384\n"},
      {"render --ops ''", "orbelune render: --ops needs a path, not an empty one\n"},
      {"render --quiet --bogus", "orbelune render: unknown flag '--bogus' (see orbelune render --help)\n"},
      {"idle --after", "orbelune idle: --after needs a duration such as 30s, 5m or 1h\n"},
      {"idle -bogus", "orbelune idle: unknown flag '-bogus' (see orbelune idle --help)\n"},
      {"presets x", "orbelune presets: takes no arguments\n"},
  };
  for (const auto& [args, said] : lines) {
    const auto run = runOrbelune(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.err, said) << args;
  }
}

struct Picked {
  int count = 0;
  std::string last;
  bool flagged = false;
};

constexpr cli::Flag<Picked> kPicks[] = {
    {"count", "N", "a count", "how many",
     [](Picked& p, const std::string& v) {
       p.count = std::stoi(v);
       p.last = "count";
     }},
    {"flag", nullptr, nullptr, "a first line\nand a second",
     [](Picked& p, const std::string&) {
       p.flagged = true;
       p.last = "flag";
     }},
};

TEST(FlagTableTest, FlagsApplyInOrderWithSingleOrDoubleDashesAndPrintAsTheTableSays) {
  Picked p;
  cli::readFlags<Picked>({"-count", "2", "--flag", "--count", "5"}, kPicks, p, "x --help");
  EXPECT_EQ(p.count, 5);
  EXPECT_TRUE(p.flagged);
  EXPECT_EQ(p.last, "count");
  std::ostringstream help;
  cli::printFlags<Picked>(help, kPicks, 12);
  EXPECT_EQ(help.str(), "  --count N how many\n  --flag    a first line\n            and a second\n");
  std::ostringstream narrow;
  cli::printFlags<Picked>(narrow, kPicks, 8);
  EXPECT_EQ(narrow.str(), "  --count N\n        how many\n  --flag\n        a first line\n        and a second\n");
}

}  // namespace
}  // namespace orbelune
