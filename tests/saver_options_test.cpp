#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "host/cli.h"
#include "host/saver_options.h"
#include "settings/settings.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

std::string readSource(const std::string& relative) {
  std::ifstream in(std::string(ORBELUNE_SOURCE_DIR) + "/" + relative);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The attributes of the XML element whose attribute `attr` has `value`.
std::map<std::string, std::string> elementWith(const std::string& xml, const std::string& attr,
                                               const std::string& value) {
  std::map<std::string, std::string> out;
  std::regex element("<[a-z]+\\s([^>]*)/>");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element); it != std::sregex_iterator(); ++it) {
    std::map<std::string, std::string> attrs;
    std::string body = (*it)[1];
    std::regex pair("([-_a-z]+)=\"([^\"]*)\"");
    for (auto a = std::sregex_iterator(body.begin(), body.end(), pair); a != std::sregex_iterator(); ++a) {
      attrs[(*a)[1]] = (*a)[2];
    }
    if (attrs[attr] == value) return attrs;
  }
  return out;
}

std::string manFlag(const char* flag) {  // "-sweep-time" as the man page writes "--sweep-time"
  std::string out = "\\-";
  for (const char* p = flag; *p; ++p) out += *p == '-' ? std::string("\\-") : std::string(1, *p);
  return out;
}

class SaverOptionsTest : public test::IsolatedTest {};

TEST_F(SaverOptionsTest, TheXmlTheManPageAndTheDefaultsFollowTheTable) {
  const std::string xml = readSource("resources/orbelune.xml");
  const std::string man = readSource("docs/man/orbelune.6");
  ASSERT_FALSE(xml.empty());
  ASSERT_FALSE(man.empty());
  Settings defaults;
  const std::map<std::string, double> registered = {
      {"SweepMethod", double(defaults.sweepMethod)}, {"SweepRate", defaults.sweepRate},
      {"FrequencyX1", defaults.frequencyX1},         {"FrequencyX2", defaults.frequencyX2},
      {"FrequencyY1", defaults.frequencyY1},         {"FrequencyY2", defaults.frequencyY2},
      {"FigureSize", defaults.figureSize},           {"LineWidth", defaults.lineWidth},
      {"FitToScreenSize", defaults.isFitToScreenSize}, {"ShowCurrentValue", defaults.isShowCurrentValue},
  };
  for (const auto& o : kSaverOptions) {
    SCOPED_TRACE(o.flag);
    EXPECT_EQ(registered.at(o.key), o.defaultValue);
    EXPECT_NE(man.find(manFlag(o.flag)), std::string::npos);
    switch (o.kind) {
      case SaverOption::Kind::Number: {
        auto e = elementWith(xml, "arg", std::string(o.flag) + " %");
        ASSERT_FALSE(e.empty());
        EXPECT_EQ(std::stod(e["low"]), o.low);
        EXPECT_EQ(std::stod(e["high"]), o.high);
        EXPECT_EQ(std::stod(e["default"]), o.defaultValue);
        const std::string range = describeNumber(o.low) + " to " + describeNumber(o.high) + " (default " +
                                  describeNumber(o.defaultValue) + ")";
        EXPECT_NE(man.find(range), std::string::npos) << range;
        break;
      }
      case SaverOption::Kind::Select:
        for (int v = int(o.low); v <= int(o.high); ++v) {
          const std::string set = std::string(o.flag) + " " + std::to_string(v);
          // The default item passes no flag, as XScreenSaver expects.
          EXPECT_EQ(elementWith(xml, "arg-set", set).empty(), v == int(o.defaultValue)) << set;
        }
        break;
      case SaverOption::Kind::Boolean:
        if (o.defaultValue != 0) EXPECT_FALSE(elementWith(xml, "arg-unset", o.negation).empty());
        else EXPECT_FALSE(elementWith(xml, "arg-set", o.flag).empty());
        EXPECT_NE(man.find(manFlag(o.negation)), std::string::npos);
        break;
    }
  }
  EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);
  EXPECT_NE(man.find("XSCREENSAVER_WINDOW"), std::string::npos);
}

TEST_F(SaverOptionsTest, FlagsParseWithinTheirBoundsAndActOnTheNewViewOnly) {
  SaverOverrides o;
  std::vector<std::string> args = {"--sweep-time", "86400", "-frequency-x1", "0.1", "-no-status", "-fit",
                                   "-sweep-method", "2", "-line-width", "10"};
  for (std::size_t i = 0; i < args.size();) ASSERT_TRUE(parseSaverOption(args, i, o)) << args[i];
  auto view = OrbeluneView::initWithFrame(makeRect(0, 0, 100, 100), false);
  applySaverOverrides(o, *view);
  EXPECT_EQ(Frequency::sweepRate(), 86400.0);
  EXPECT_EQ(Frequency::sweepMethod(), 2);
  EXPECT_EQ(view->xAxis().frequency1(), 0.1);
  EXPECT_FALSE(view->isShowCurrentValue());
  EXPECT_TRUE(view->isFitToScreenSize());
  EXPECT_EQ(view->lineWidth(), 10.0);
  EXPECT_FALSE(std::filesystem::exists(storeFile()));  // never written

  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {"-sweep-time", "0.5"}, {"-sweep-time"}, {"-frequency-y2", "1001"}, {"-sweep-method", "1.5"},
           {"-sweep-method", "3"}, {"-figure-size", "nan"}, {"-line-width", "2x"}}) {
    std::size_t i = 0;
    SaverOverrides ignored;
    EXPECT_THROW(parseSaverOption(bad, i, ignored), cli::UsageError) << bad[0];
  }
  std::vector<std::string> other = {"-root"};
  std::size_t i = 0;
  EXPECT_FALSE(parseSaverOption(other, i, o));
}

}  // namespace
}  // namespace orbelune
