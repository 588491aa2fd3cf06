#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "base/number_text.h"
#include "cli/cli.h"
#include "cli/saver_options.h"
#include "recording/recording_graphics.h"
#include "settings/presets.h"
#include "settings/setting_table.h"
#include "settings/settings_keys.h"
#include "session/saver_session.h"
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

std::string readGenerated(const std::string& name) {
  std::ifstream in(std::string(ORBELUNE_GENERATED_DIR) + "/" + name);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string manFlag(const std::string& flag) {  // "sweep-time" as the man page writes "--sweep-time"
  std::string out = "\\-\\-";
  for (char c : flag) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

class SaverOptionsTest : public test::IsolatedTest {};

// What XScreenSaver's dialog passes must be what the saver takes: every flag the
// XML sets parses, and every setting has a flag, a man page entry and a widget.
TEST_F(SaverOptionsTest, EverySettingHasAFlagAManPageEntryAndADialogWidget) {
  const std::string xml = readGenerated("orbelune.xml");
  const std::string man = readGenerated("orbelune.6");
  ASSERT_FALSE(xml.empty());
  ASSERT_FALSE(man.empty());
  ASSERT_EQ(settingTable().size(), 20u);
  for (const auto& d : settingTable()) {
    SCOPED_TRACE(d.key);
    EXPECT_NE(man.find(manFlag(d.flag)), std::string::npos);
    switch (d.kind()) {
      case SettingKind::Real: {
        auto e = elementWith(xml, "arg", std::string("--") + d.flag + " %");
        ASSERT_FALSE(e.empty());
        EXPECT_EQ(std::stod(e["default"]), d.builtIn);
        // The dialog offers the bounds, but one turn either way for a phase.
        EXPECT_EQ(std::stod(e["low"]), std::isnan(d.dialogLow) ? d.low : d.dialogLow);
        EXPECT_EQ(std::stod(e["high"]), std::isnan(d.dialogHigh) ? d.high : d.dialogHigh);
        if (d.bounded()) {
          const std::string from = std::isnan(d.lowestOn)
                                       ? formatShortest(d.low)
                                       : formatShortest(d.low) + " (off) or " + formatShortest(d.lowestOn);
          const std::string range = from + " to " + formatShortest(d.high) + " (default " +
                                    formatShortest(d.builtIn) + ")";
          EXPECT_NE(man.find(range), std::string::npos) << range;
        }
        break;
      }
      case SettingKind::Choice:
        for (int v = int(d.low); v <= int(d.high); ++v) {
          const std::string set = std::string("--") + d.flag + " " + std::to_string(v);
          // The default item passes no flag, as XScreenSaver expects.
          EXPECT_EQ(elementWith(xml, "arg-set", set).empty(), v == int(d.builtIn)) << set;
        }
        break;
      case SettingKind::Boolean:
        if (d.builtIn != 0) EXPECT_FALSE(elementWith(xml, "arg-unset", std::string("--") + d.negation).empty());
        else EXPECT_FALSE(elementWith(xml, "arg-set", std::string("--") + d.flag).empty());
        EXPECT_NE(man.find(manFlag(d.negation)), std::string::npos);
        break;
      case SettingKind::Color:
        EXPECT_FALSE(elementWith(xml, "arg-set", std::string("--") + d.flag + " gold").empty());
        break;
    }
  }
  // Every argument the dialog can pass is one the saver accepts.
  std::regex setting("arg(-set|-unset)?=\"([^\"%]*)( %)?\"");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), setting); it != std::sregex_iterator(); ++it) {
    std::istringstream words((*it)[2].str());
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    // The host's own flags are the saver command's, not settings.
    if (args.empty() || args[0] == "--root" || args[0] == "--fps") continue;
    if ((*it)[3].matched) args.push_back(elementWith(xml, "arg", (*it)[2].str() + " %")["default"]);
    SaverOverrides o;
    std::size_t i = 0;
    EXPECT_TRUE(parseSaverOption(args, i, o)) << (*it)[0];
    EXPECT_EQ(i, args.size()) << (*it)[0];
  }
  EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);
  EXPECT_NE(man.find("XSCREENSAVER_WINDOW"), std::string::npos);
  // Every preset is in the dialog's figure menu (before the sweep menu, so that
  // the dialog's settings after it win), in the man page and in --help.
  EXPECT_FALSE(elementWith(xml, "id", "preset-stored").empty());
  EXPECT_TRUE(elementWith(xml, "id", "preset-stored").count("arg-set") == 0);
  EXPECT_LT(xml.find("<select id=\"preset\">"), xml.find("<select id=\"sweep-method\">"));
  std::ostringstream help;
  printFigureFlags(help);
  for (const auto& p : presetTable()) {
    SCOPED_TRACE(p.name);
    auto option = elementWith(xml, "arg-set", "--preset " + dashedName(p));
    ASSERT_FALSE(option.empty());
    EXPECT_EQ(option["_label"], p.name);
    std::string manName;
    for (char c : std::string(p.name)) manName += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(man.find(".B " + manName + "\n"), std::string::npos) << manName;
    EXPECT_NE(help.str().find(dashedName(p)), std::string::npos);
  }
  EXPECT_NE(man.find(manFlag("random")), std::string::npos);
  EXPECT_NE(man.find(manFlag("seed")), std::string::npos);
  // The sheet's slider offers the figure sizes the flag takes.
  const std::string ui = readSource("resources/ConfigureSheet.ui");
  const SettingDescriptor* size = findSetting("FigureSize");
  EXPECT_NE(ui.find("<property name=\"lower\">" + formatShortest(size->low)), std::string::npos);
  EXPECT_NE(ui.find("<property name=\"upper\">" + formatShortest(size->high) + ".0"), std::string::npos);
}

TEST_F(SaverOptionsTest, FlagsParseWithinTheirBoundsAndActOnTheNewViewOnly) {
  SaverOverrides o;
  std::vector<std::string> args = {"--sweep-time", "86400", "-frequency-x1", "0.1", "-no-status", "-fit",
                                   "-sweep-method", "2", "-line-width", "10",
                                   "--phase-x1", "-720", "--show-phases", "--no-show-frequencies",
                                   "--line-color", "Dark Slate Blue", "-background-color", "#10203040"};
  for (std::size_t i = 0; i < args.size();) ASSERT_TRUE(parseSaverOption(args, i, o)) << args[i];
  // The run's session applies them to each view it makes.
  SaverSession session({o, false, 0.0}, nullptr, hostStore());
  auto made = session.makeView(Size{100, 100}, false);
  ASSERT_NE(made, nullptr);
  OrbeluneView* view = &made->view();
  EXPECT_EQ(view->sweep().sweepTime, 86400.0);
  EXPECT_EQ(view->sweep().method, 2);
  EXPECT_EQ(view->xAxis().frequency1(), 0.1);
  EXPECT_FALSE(view->settings().isShowCurrentValue);
  EXPECT_TRUE(view->settings().isFitToScreenSize);
  EXPECT_EQ(view->settings().lineWidth, 10.0);
  EXPECT_EQ(view->xAxis().initialPhase1(), -720.0);  // phases are not bounded
  EXPECT_TRUE(view->settings().isShowInitialPhase);
  EXPECT_FALSE(view->settings().isShowFrequency);
  EXPECT_EQ(describeColor(*view->settings().lineColor), "#483d8b");  // X11's darkslateblue
  EXPECT_EQ(describeColor(*view->settings().backColor), "#10203040");
  EXPECT_EQ(view->settings().textColor, Color::white());
  EXPECT_FALSE(std::filesystem::exists(storeFile()));  // never written

  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {"-sweep-time", "0.5"}, {"-sweep-time"}, {"-frequency-y2", "1001"}, {"-sweep-method", "1.5"},
           {"-sweep-method", "3"}, {"-figure-size", "nan"}, {"-line-width", "2x"},
           {"--phase-y1", "inf"}, {"--line-color"}, {"--text-color", "#12"}, {"--text-color", "not a colour"}}) {
    std::size_t i = 0;
    SaverOverrides ignored;
    EXPECT_THROW(parseSaverOption(bad, i, ignored), cli::UsageError) << bad[0];
  }
  std::vector<std::string> other = {"-root"};
  std::size_t i = 0;
  EXPECT_FALSE(parseSaverOption(other, i, o));
}

// The settings one command line gives, applied over the built-in values.
Settings parsed(const std::vector<std::string>& args) {
  SaverOverrides o;
  const auto seed = findSeed(args);
  for (std::size_t i = 0; i < args.size();) {
    EXPECT_TRUE(parseSaverOption(args, i, o, seed)) << args[i];
  }
  Settings s;
  o.applyTo(s);
  return s;
}

TEST_F(SaverOptionsTest, APresetSetsItsValuesAndFlagsAfterItWin) {
  const Preset* weave = findPreset("Dense weave");
  ASSERT_NE(weave, nullptr);
  ASSERT_TRUE(weave->lineWidth && weave->figureSize);
  Settings s = parsed({"--line-width", "9", "--preset", "DENSE-WEAVE", "--frequency-y2", "3"});
  EXPECT_EQ(s.frequencyX1, weave->frequencyX1);
  EXPECT_EQ(s.frequencyX2, weave->frequencyX2);
  EXPECT_EQ(s.frequencyY1, weave->frequencyY1);
  EXPECT_EQ(s.frequencyY2, 3.0);  // the flag after it
  EXPECT_EQ(s.initialPhaseY, weave->phaseY1);
  EXPECT_EQ(s.sweepMethod, weave->sweepMethod);
  EXPECT_EQ(s.lineWidth, *weave->lineWidth);  // the flag before it is overridden
  EXPECT_EQ(s.figureSize, *weave->figureSize);

  // A preset that gives no line width leaves the one given before it.
  const Preset* eight = findPreset("figure-eight");
  ASSERT_NE(eight, nullptr);
  ASSERT_FALSE(eight->lineWidth);
  s = parsed({"-line-width", "9", "-preset", "figure-eight", "-sweep-method", "1"});
  EXPECT_EQ(s.lineWidth, 9.0);
  EXPECT_EQ(s.frequencyY1, eight->frequencyY1);
  EXPECT_EQ(s.sweepMethod, 1);
  // A later preset wins over an earlier one.
  s = parsed({"--preset", "dense-weave", "--preset", "circle"});
  EXPECT_EQ(s.frequencyX1, 1.0);
  EXPECT_EQ(s.frequencyY1, 1.0);

  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {"--preset"}, {"--preset", "no-such-figure"}, {"--preset", ""}, {"--seed"}, {"--seed", "-1"},
           {"--seed", "18446744073709551616"}, {"--seed", "7x"}, {"--seed", "0x10"}}) {
    try {
      (void)parsed(bad);
      ADD_FAILURE() << bad[0] << " was taken";
    } catch (const cli::UsageError& e) {
      if (bad[0] == "--preset") {
        EXPECT_NE(std::string(e.what()).find(presetNames()), std::string::npos) << e.what();
      }
    }
  }
}

TEST_F(SaverOptionsTest, RandomDrawsTheSurpriseOfTheSeedWhereverTheSeedIsGiven) {
  Settings expected;
  surpriseFigure(expected, 18446744073709551615ULL);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--random", "--seed", "18446744073709551615"}, {"-seed", "18446744073709551615", "-random"}}) {
    Settings s = parsed(args);
    EXPECT_EQ(s.frequencyX1, expected.frequencyX1);
    EXPECT_EQ(s.frequencyY1, expected.frequencyY1);
    EXPECT_EQ(s.frequencyY2, expected.frequencyY2);
    EXPECT_EQ(s.initialPhaseX, expected.initialPhaseX);
    EXPECT_EQ(s.initialPhaseY2, expected.initialPhaseY2);
    EXPECT_EQ(s.sweepMethod, expected.sweepMethod);
  }
  EXPECT_EQ(findSeed({"--seed", "3", "--line-width", "2", "--seed", "0"}), 0u);
  EXPECT_EQ(findSeed({"--line-width", "2"}), std::nullopt);
  // A flag after the surprise overrides it.
  EXPECT_EQ(parsed({"--seed", "5", "--random", "--phase-x1", "12"}).initialPhaseX, 12.0);
  // Different seeds draw different figures (over a few seeds, some differ).
  std::set<double> phases;
  for (int seed = 0; seed < 8; ++seed) phases.insert(parsed({"--random", "--seed", std::to_string(seed)}).initialPhaseX);
  EXPECT_GT(phases.size(), 4u);
}

// A session on a virtual clock asked to shuffle every `minutes`, with `seed`.
struct ShufflingRun {
  ShufflingRun(const std::string& minutes, std::optional<std::uint64_t> seed, std::shared_ptr<ScreenSaverDefaults> store)
      : clock(std::make_shared<VirtualClock>()) {
    SaverOverrides o;
    std::vector<std::string> args = {"--shuffle", minutes};
    for (std::size_t i = 0; i < args.size();) EXPECT_TRUE(parseSaverOption(args, i, o)) << args[i];
    session = std::make_unique<SaverSession>(SessionOptions{o, false, 0.0, seed}, clock, std::move(store));
    views.push_back(session->makeView(Size{200, 100}, false));
    views.push_back(session->makeView(Size{300, 300}, false));
  }
  // Frames every 50 ms up to frame `last`; the frames at which the first view's
  // figure changed, and the figures (x and y frequencies at the start).
  void runTo(int last) {
    for (; frame <= last; ++frame) {
      clock->set(frame * 0.05);
      for (auto& v : views) v->drawFrame(g);
      const auto& s = views[0]->view().settings();
      const std::vector<double> figure = {s.frequencyX1, s.frequencyY1, s.initialPhaseX, s.initialPhaseY,
                                          static_cast<double>(s.sweepMethod)};
      if (frame > 0 && figure != figures.back()) changedAt.push_back(frame);
      if (frame == 0 || figure != figures.back()) figures.push_back(figure);
    }
  }
  std::shared_ptr<VirtualClock> clock;
  std::unique_ptr<SaverSession> session;
  std::vector<std::unique_ptr<SessionView>> views;
  RecordingGraphics g;
  int frame = 0;
  std::vector<int> changedAt;
  std::vector<std::vector<double>> figures;
};

TEST_F(SaverOptionsTest, AShufflingSessionChangesEveryViewsFigureOncePerPeriod) {
  ShufflingRun run("0.1", 3, hostStore());
  run.runTo(119);
  EXPECT_TRUE(run.changedAt.empty());  // not before 6 s
  EXPECT_EQ(run.session->shuffle().changes(), 0u);
  run.runTo(300);
  EXPECT_EQ(run.session->shuffle().changes(), 2u);  // at 6 s and at 12 s: one change a period for both views
  // The view changes after drawing the frame at the period's end, so the frame
  // after it is the new figure's first.
  EXPECT_EQ(run.changedAt, (std::vector<int>{120, 240}));
  // Both views show the session's figure, with the sampling it needs.
  for (auto& v : run.views) {
    EXPECT_EQ(v->view().settings().frequencyX1, run.session->shuffle().figure().frequencyX1);
    EXPECT_EQ(v->view().settings().frequencyY2, run.session->shuffle().figure().frequencyY2);
    EXPECT_EQ(v->view().settings().shuffleMinutes, 0.1);
  }
  EXPECT_NE(run.views[0]->view().trail().size(), 0u);
}

TEST_F(SaverOptionsTest, TheSameSeedShufflesTheSameFiguresAndAnotherSeedOthers) {
  ShufflingRun a("0.1", 3, hostStore()), b("0.1", 3, hostStore()), c("0.1", 4, hostStore());
  for (auto* run : {&a, &b, &c}) run->runTo(600);
  EXPECT_EQ(a.session->shuffle().changes(), 5u);
  EXPECT_EQ(a.figures, b.figures);
  EXPECT_NE(a.figures, c.figures);
  EXPECT_EQ(a.figures.size(), 6u);
}

TEST_F(SaverOptionsTest, WithoutShuffleMinutesTheFigureNeverChanges) {
  ShufflingRun run("0", 3, hostStore());
  run.runTo(400);
  EXPECT_TRUE(run.changedAt.empty());
  EXPECT_EQ(run.session->shuffle().changes(), 0u);
}

// A shuffle period shorter than a few seconds is a new figure every frame or so:
// the flag takes 0 (off) or at least a tenth of a minute, and loading and the
// sheet raise a shorter one to that.
TEST_F(SaverOptionsTest, TheShufflesMinutesAreOffOrATenthOfAMinuteAtTheLeast) {
  EXPECT_EQ(parsed({"--shuffle", "0"}).shuffleMinutes, 0.0);
  EXPECT_EQ(parsed({"--shuffle", "0.1"}).shuffleMinutes, 0.1);
  EXPECT_EQ(parsed({"--shuffle", "1440"}).shuffleMinutes, 1440.0);
  for (const char* bad : {"0.05", "1e-300", "-1", "1441"}) {
    try {
      (void)parsed({"--shuffle", bad});
      ADD_FAILURE() << bad << " was taken";
    } catch (const cli::UsageError& e) {
      EXPECT_NE(std::string(e.what()).find("0 (off) or a number from 0.1 to 1440"), std::string::npos) << e.what();
    }
  }
  const SettingDescriptor& d = *findSetting(keys::kShuffleMinutes);
  EXPECT_EQ(d.clamp(0.05), 0.1);
  EXPECT_EQ(d.clamp(0.0), 0.0);
  EXPECT_EQ(d.mendStored(1e-300), 0.1);
  EXPECT_EQ(d.mendStored(-3.0), -3.0);  // stored below 0: off, as stored
  EXPECT_EQ(d.mendStored(5000.0), 5000.0);
  // Stored at 1e-300 minutes, the figure changes every six seconds, not every frame.
  hostStore()->setObject(1e-300, keys::kShuffleMinutes);
  ASSERT_TRUE(test::succeeded(hostStore()->synchronize()));
  auto clock = std::make_shared<VirtualClock>();
  SaverSession session(SessionOptions{SaverOverrides{}, false, 0.0, 3}, clock, hostStore());
  auto view = session.makeView(Size{200, 100}, false);
  RecordingGraphics g;
  for (int frame = 0; frame <= 200; ++frame) {
    clock->set(frame * 0.05);
    view->drawFrame(g);
  }
  EXPECT_EQ(view->view().settings().shuffleMinutes, 0.1);
  EXPECT_LE(session.shuffle().changes(), 2u);
}

}  // namespace
}  // namespace orbelune
