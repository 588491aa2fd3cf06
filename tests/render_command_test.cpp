#include <gtest/gtest.h>

#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "base/number_text.h"
#include "x11/x11_targets.h"
#include "test_support.h"

namespace orbelune {
namespace {

using test::Run;
using test::runOrbelune;

std::vector<nlohmann::json> lines(const std::string& text) {
  std::vector<nlohmann::json> out;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) out.push_back(nlohmann::json::parse(line));
  return out;
}

class RenderCommandTest : public test::IsolatedTest {};

TEST_F(RenderCommandTest, OpsFollowTheFormatAndAreReproducibleToTheByte) {
  auto a = runOrbelune("render --frames 20 --ops -");
  ASSERT_EQ(a.status, 0) << a.err;
  std::string first = a.out.substr(0, a.out.find('\n'));
  EXPECT_EQ(first,
            R"({"event":"start","samplingRate":600.0,"maxSplitNum":10,"maxPathNum":14,"sweepMethod":1,)"
            R"("sweepRate":20.0,"bounds":[0,0,1280,720]})");
  auto l = lines(a.out);
  ASSERT_EQ(l.size(), 21u);
  // The ticks are the view's animation interval, as --help says.
  EXPECT_EQ(l[1]["tick"], 1);
  EXPECT_EQ(l[1]["time"], OrbeluneView::kAnimationInterval);
  const std::string said = "(default " + formatShortest(OrbeluneView::kAnimationInterval) + ")";
  EXPECT_NE(runOrbelune("render --help").out.find(said), std::string::npos) << said;
  EXPECT_EQ(l[1]["result"], "drawn");
  EXPECT_EQ(l[1]["ops"][0]["op"], "fill");
  EXPECT_EQ(l[1]["ops"][1]["join"], "bevel");
  EXPECT_EQ(l[1]["ops"].back()["op"], "text");
  EXPECT_EQ(l[1]["ops"].back()["font"], "Arial");
  EXPECT_EQ(l[20]["ops"].size(), 1u + 140u + 1u);
  EXPECT_EQ(runOrbelune("render --frames 20 --ops -").out, a.out);
}

TEST_F(RenderCommandTest, FrameTimesSetTheTicksAndIdleTicksHaveNoOps) {
  auto r = runOrbelune("render --frame-times 0.001,0.05,0.2 --size 320x200 --preview --ops -");
  ASSERT_EQ(r.status, 0) << r.err;
  auto l = lines(r.out);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0]["bounds"], nlohmann::json::array({0, 0, 320, 200}));
  EXPECT_EQ(l[1]["result"], "idle");
  EXPECT_TRUE(l[1]["ops"].empty());
  EXPECT_EQ(l[2]["time"], 0.001 + 0.05);
  EXPECT_EQ(l[3]["time"], 0.001 + 0.05 + 0.2);
  // Ticks beyond the list use --interval.
  auto more = lines(runOrbelune("render --frame-times 0.05 --frames 3 --interval 0.1 --ops -").out);
  ASSERT_EQ(more.size(), 4u);
  EXPECT_EQ(more[3]["time"], 0.05 + 0.1 + 0.1);
}

TEST_F(RenderCommandTest, PngsAreWrittenForDrawnTicksAndTheLastPicture) {
  auto dir = configHome() / "frames";
  auto last = configHome() / "last.png";
  auto r = runOrbelune("render --frame-times 0.05,0.001,0.05 --size 64x48 --png " + dir.string() + " --last " +
                       last.string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "frame-00001.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "frame-00002.png"));  // idle
  EXPECT_TRUE(std::filesystem::exists(dir / "frame-00003.png"));
  EXPECT_GT(std::filesystem::file_size(last), 100u);
}

TEST_F(RenderCommandTest, BadUsageExitsWithTwoAndOneLine) {
  for (const char* args : {"render --size 0x10", "render --size 12", "render --frames -1", "render --frames x",
                           "render --interval nan", "render --frame-times 0.1,,0.2", "render --bogus",
                           // the virtual clock runs forwards, and stays finite
                           "render --interval -1", "render --interval 1e308", "render --frame-times 0.1,-0.05",
                           "render --ops", "render --ops ''", "render --png ''", "render --last ''",
                           "render extra", "--frobnicate", "-window-id 0"}) {
    auto r = runOrbelune(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
  }
}

TEST_F(RenderCommandTest, ArgumentsAreEchoedEscapedAndShortened) {
  // An escape sequence and a line break are shown, not sent to the terminal.
  auto r = runOrbelune("render --line-color \"$(printf 'a\\033[31mb\\nc')\"");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not 'a\\x1b[31mb\\nc'"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
  auto huge = runOrbelune("render --line-color $(printf 'x%.0s' $(seq 5000))");
  EXPECT_EQ(huge.status, 2);
  EXPECT_LT(huge.err.size(), 300u) << huge.err.size();
  EXPECT_NE(huge.err.find("xxx…'"), std::string::npos);
  // Space around a colour counts on neither side.
  EXPECT_EQ(runOrbelune("render --frames 1 --ops - --line-color 'gold  '").out,
            runOrbelune("render --frames 1 --ops - --line-color '  gold'").out);
}

TEST_F(RenderCommandTest, PhasesBeyondTheirBoundsAreRefusedAndStoredOnesDrawFiniteFigures) {
  for (const char* args : {"render --phase-x1 1e308", "render --phase-y2 -1e308", "render --phase-x2 1000000.5"}) {
    auto r = runOrbelune(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("-1e+06 to 1e+06"), std::string::npos) << args << ": " << r.err;
  }
  // The bounds themselves, as far apart as they go, and huge phases a file
  // written earlier holds: every coordinate and every status value is finite.
  auto checkFinite = [](const auto& r) {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("null"), std::string::npos);
    EXPECT_EQ(r.out.find("inf"), std::string::npos);
    EXPECT_EQ(r.out.find("nan"), std::string::npos);
    EXPECT_EQ(lines(r.out).size(), 61u);
  };
  checkFinite(runOrbelune("render --frames 60 --show-phases --phase-x1 1e6 --phase-x2 -1e6 --phase-y1 -1e6 --ops -"));
  for (const char* write : {"InitialPhaseX -float 1e308", "InitialPhaseX2 -float -1e308", "InitialPhaseY -float 1e308"}) {
    ASSERT_EQ(runOrbelune(std::string("defaults write ") + write).status, 0) << write;
  }
  auto stored = runOrbelune("render --frames 60 --show-phases --ops -");
  checkFinite(stored);
  // The phases the status line shows lie within the bounds.
  const std::regex degrees("(-?[0-9]+\\.[0-9]{2})deg");
  int shown = 0;
  for (std::sregex_iterator m(stored.out.begin(), stored.out.end(), degrees), end; m != end; ++m, ++shown) {
    EXPECT_LE(std::abs(std::stod((*m)[1])), 1e6) << (*m)[0];
  }
  EXPECT_EQ(shown, 2 * 60);
}

TEST_F(RenderCommandTest, TheStoresWarningIsPrintedOnceAndTheRunGoesOnWithDefaults) {
  writeStoreFile("{ not json");
  auto r = runOrbelune("render --frames 1 --ops -");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "orbelune: warning: cannot read settings file " + storeFile().string() +
                       " (not valid JSON); using defaults, the file will be kept as " + storeFile().string() +
                       ".corrupt\n");
  EXPECT_NE(r.out.find(R"("sweepMethod":1)"), std::string::npos);
}

TEST_F(RenderCommandTest, AFileThatCannotBeWrittenSaysWhy) {
  auto missing = runOrbelune("render --frames 2 --last " + (configHome() / "no" / "x.png").string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
  auto full = runOrbelune("render --frames 2 --last /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

TEST_F(RenderCommandTest, ScaleDrawsLinesAndTextLargerAndFpsShowsTheVirtualRate) {
  auto plain = lines(runOrbelune("render --frames 30 --ops -").out);
  auto scaled = lines(runOrbelune("render --frames 30 --scale 2 --fps --ops -").out);
  ASSERT_EQ(plain.size(), scaled.size());
  const auto& a = plain.back()["ops"];
  const auto& b = scaled.back()["ops"];
  double width = 0, scaledWidth = 0, font = 0, scaledFont = 0;
  std::string overlay;
  for (const auto& op : a) {
    if (op["op"] == "stroke") width = op["width"];
    if (op["op"] == "text") font = op["size"];
  }
  for (const auto& op : b) {
    if (op["op"] == "stroke") scaledWidth = op["width"];
    if (op["op"] == "text" && op["string"].get<std::string>().find("fps") != std::string::npos) overlay = op["string"];
    else if (op["op"] == "text") scaledFont = op["size"];
  }
  EXPECT_EQ(scaledWidth, 2 * width);
  EXPECT_EQ(scaledFont, 2 * font);
  EXPECT_EQ(overlay, "20.0 fps");  // the virtual clock's rate, the same every run
  EXPECT_EQ(runOrbelune("render --scale 9").status, 2);
}

// A host at a fractional scale (Xft.dpi 120 or 144, a Wayland output at 125 % or
// 150 %) draws on that many more pixels: lines and text grow by the scale, and
// the status line stands where it stands at 1, in points.
TEST_F(RenderCommandTest, FractionalScalesGrowLinesAndTextAndKeepTheStatusLinesPlace) {
  struct Drawn {
    double lineWidth = 0, fontSize = 0, textX = -1, textY = -1;
  };
  auto drawn = [](const std::string& args) {
    Drawn d;
    const auto events = lines(runOrbelune("render --frames 10 --ops - " + args).out);
    for (const auto& op : events.back()["ops"]) {
      if (op["op"] == "stroke") d.lineWidth = op["width"];
      if (op["op"] == "text") {
        d.fontSize = op["size"];
        d.textX = op["point"][0];
        d.textY = op["point"][1];
      }
    }
    return d;
  };
  const Drawn one = drawn("--size 800x600");
  ASSERT_GT(one.textX, 0.0);
  for (const auto& [scale, size] : {std::pair{1.25, "1000x750"}, std::pair{1.5, "1200x900"}}) {
    const Drawn at = drawn(std::string("--size ") + size + " --scale " + std::to_string(scale));
    EXPECT_DOUBLE_EQ(at.lineWidth, one.lineWidth * scale) << scale;  // 2 points: 3 pixels at 1.5
    EXPECT_DOUBLE_EQ(at.fontSize, one.fontSize * scale) << scale;
    // The text's measured width need not grow by exactly the scale (hinting):
    // within a pixel.
    EXPECT_NEAR(at.textX, one.textX * scale, 1.0) << scale;
    EXPECT_DOUBLE_EQ(at.textY, one.textY * scale) << scale;
  }
}

TEST(ScreenScaleTest, XftDpiOver96IsTheScale) {
  EXPECT_EQ(scaleFromResources(nullptr), 1.0);
  EXPECT_EQ(scaleFromResources("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 2.0);
  EXPECT_EQ(scaleFromResources("Xft.dpi:\t120"), 1.25);
  EXPECT_EQ(scaleFromResources("Xft.dpi:\t144"), 1.5);
  EXPECT_EQ(scaleFromResources("Xft.dpi:\t9600\n"), 1.0);  // no screen has 100x: not believed
  EXPECT_EQ(scaleFromResources("*customization:\t-color\n"), 1.0);
}

TEST_F(RenderCommandTest, APresetDrawsItsFigureAndAFlagAfterItWins) {
  // Classic sweep is the built-in figure: the same operations as no flag at all.
  EXPECT_EQ(runOrbelune("render --frames 20 --ops - --preset classic-sweep").out,
            runOrbelune("render --frames 20 --ops -").out);
  auto eight = runOrbelune("render --frames 20 --show-frequencies --ops - --preset 'Figure eight'");
  ASSERT_EQ(eight.status, 0) << eight.err;
  EXPECT_EQ(runOrbelune("render --frames 20 --show-frequencies --ops - --preset FIGURE-EIGHT").out, eight.out);
  EXPECT_NE(eight.out, runOrbelune("render --frames 20 --show-frequencies --ops -").out);
  // A flag after it overrides its value; one before it is overridden.
  auto later = runOrbelune("render --frames 20 --show-frequencies --ops - --preset figure-eight --frequency-y1 3");
  auto earlier = runOrbelune("render --frames 20 --show-frequencies --ops - --frequency-y1 3 --preset figure-eight");
  EXPECT_NE(later.out, eight.out);
  EXPECT_EQ(earlier.out, eight.out);
  EXPECT_EQ(later.out, runOrbelune("render --frames 20 --show-frequencies --ops - --preset figure-eight "
                                   "--frequency-y1 3 --frequency-y1 3").out);
  // Never stored.
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
}

TEST_F(RenderCommandTest, AnUnknownPresetExitsWithTwoAndOneLineListingTheNames) {
  auto r = runOrbelune("render --frames 1 --preset no-such-figure");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("no-such-figure"), std::string::npos);
  EXPECT_NE(r.err.find("Figure eight"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Circle"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(runOrbelune("render --random --seed nine").status, 2);
  EXPECT_EQ(runOrbelune("--preset nope").status, 2);
  EXPECT_EQ(runOrbelune("idle --preset nope").status, 2);
}

TEST_F(RenderCommandTest, ASeedDrawsTheSameSurpriseEveryTimeAndAnotherSeedAnother) {
  auto seven = runOrbelune("render --random --seed 7 --frames 30 --ops -");
  ASSERT_EQ(seven.status, 0) << seven.err;
  ASSERT_FALSE(seven.out.empty());
  EXPECT_TRUE(seven.err.empty()) << seven.err;
  EXPECT_EQ(runOrbelune("render --random --seed 7 --frames 30 --ops -").out, seven.out);
  EXPECT_EQ(runOrbelune("render --seed 7 --random --frames 30 --ops -").out, seven.out);
  EXPECT_NE(runOrbelune("render --random --seed 8 --frames 30 --ops -").out, seven.out);
  EXPECT_NE(runOrbelune("render --frames 30 --ops -").out, seven.out);
  // Without a seed it prints nothing more and still draws.
  auto clock = runOrbelune("render --random --frames 2 --ops -");
  EXPECT_EQ(clock.status, 0);
  EXPECT_TRUE(clock.err.empty()) << clock.err;
}

// Shuffling follows render's virtual clock: a seed gives the same figures at
// the same frames, every run.
TEST_F(RenderCommandTest, AShufflingRenderIsTheSameForASeedAndMovesToNewFigures) {
  auto three = runOrbelune("render --shuffle 0.1 --seed 3 --frames 600 --ops -");
  ASSERT_EQ(three.status, 0) << three.err;
  EXPECT_EQ(runOrbelune("render --shuffle 0.1 --seed 3 --frames 600 --ops -").out, three.out);
  EXPECT_NE(runOrbelune("render --shuffle 0.1 --seed 4 --frames 600 --ops -").out, three.out);
  // Every 6 s (120 frames) the status line names another figure.
  std::set<std::string> lines;
  for (std::size_t at = three.out.find("\"string\":\""); at != std::string::npos;
       at = three.out.find("\"string\":\"", at + 1)) {
    const std::size_t from = at + 10, to = three.out.find('"', from);
    std::string line = three.out.substr(from, to - from);
    if (line.rfind("Time:", 0) != 0) lines.insert(line);  // a sweep's line changes every frame
  }
  EXPECT_GE(lines.size(), 2u);
}

TEST_F(RenderCommandTest, PresetsListsEveryNameWithItsDescription) {
  auto r = runOrbelune("presets");
  ASSERT_EQ(r.status, 0);
  std::stringstream ss(r.out);
  int count = 0;
  for (std::string line; std::getline(ss, line); ++count) {
    EXPECT_NE(line.find("  "), std::string::npos) << line;
  }
  EXPECT_GE(count, 12);
  EXPECT_NE(r.out.find("Figure eight  1:2, an eight lying on its side\n"), std::string::npos) << r.out;
  EXPECT_EQ(runOrbelune("presets extra").status, 2);
  auto help = runOrbelune("--help");
  EXPECT_NE(help.out.find("orbelune presets"), std::string::npos);
  EXPECT_NE(help.out.find("--preset NAME"), std::string::npos);
  EXPECT_NE(help.out.find("figure-eight"), std::string::npos);
  EXPECT_NE(help.out.find("--random"), std::string::npos);
}

}  // namespace
}  // namespace orbelune
