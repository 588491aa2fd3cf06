#include <gtest/gtest.h>

#include <cmath>

#include "bundle_info.h"
#include "oscillator/oscillator.h"
#include "recording/recording_graphics.h"
#include "store/color_archive.h"
#include "store/screen_saver_defaults.h"
#include "store/system_version.h"
#include "settings/settings.h"
#include "settings/setting_table.h"
#include "settings/settings_keys.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

class SettingsLoadTest : public test::IsolatedTest {
 protected:
  const std::shared_ptr<ScreenSaverDefaults>& store() { return hostStore(); }
  void put(const std::string& key, const DefaultsValue& v) {
    auto s = store();
    s->setObject(v, key);
    ASSERT_TRUE(test::succeeded(s->synchronize()));
  }
  std::unique_ptr<OrbeluneView> makeView() {
    auto v = newView(makeRect(0, 0, 640, 480), false);
    EXPECT_NE(v, nullptr);
    return v;
  }
  const Color red{1, 0, 0, 1};
  const Color teal{0, 0.5, 0.5, 0.75};

  // Draws a second of frames of a view made from the store and checks what the
  // figure's computations gave: every point finite and where a drawing can place
  // it, the status line a line of a few dozen characters whose time lies in the
  // sweep. Returns the last status line.
  std::string drawnStatusLine(const std::string& what) {
    auto clock = std::make_shared<VirtualClock>();
    auto view = newView(makeRect(0, 0, 640, 480), false, clock);
    EXPECT_NE(view, nullptr);
    if (!view) return {};
    RecordingGraphics g;
    std::string line;
    int badWidths = 0, badPoints = 0;
    for (int frame = 0; frame <= 20; ++frame) {
      clock->set(0.05 * frame);
      g.clear();
      view->animateOneFrame();
      view->displayIfNeeded(g);
      for (const auto& op : g.ops()) {
        if (auto stroke = std::get_if<RecordingGraphics::Stroke>(&op)) {
          if (!(std::isfinite(stroke->width) && stroke->width >= 0.0)) ++badWidths;
          for (const auto& e : stroke->elements) {
            // Finite, and within Cairo's fixed-point coordinates.
            if (!(std::fabs(e.point.x) + std::fabs(e.point.y) < 8e6)) ++badPoints;
          }
        } else if (auto text = std::get_if<RecordingGraphics::Text>(&op)) {
          line = text->string;
        }
      }
    }
    EXPECT_EQ(badWidths, 0) << what;
    EXPECT_EQ(badPoints, 0) << what;
    EXPECT_LT(line.size(), 80u) << what << ": " << line;
    if (auto at = line.find("Time: "); at != std::string::npos) {
      const double shown = std::strtod(line.c_str() + at + 6, nullptr);
      EXPECT_GE(shown, 0.0) << what << ": " << line;
      EXPECT_LE(shown, std::max(view->sweep().sweepTime, 0.01)) << what << ": " << line;
    }
    return line;
  }
};

TEST_F(SettingsLoadTest, EmptyStoreGivesEveryDefaultAndWritesNothing) {
  auto v = makeView();
  EXPECT_EQ(sweep().method, 1);
  EXPECT_EQ(sweep().sweepTime, 20.0);
  EXPECT_EQ(v->xAxis().frequency1(), 1.0);
  EXPECT_EQ(v->xAxis().frequency2(), 6.0);
  EXPECT_EQ(v->yAxis().frequency1(), 6.0);
  EXPECT_EQ(v->yAxis().frequency2(), 6.0);
  for (Oscillator* f : {&v->xAxis(), &v->yAxis()}) {
    EXPECT_EQ(f->initialPhase1(), 90.0);
    EXPECT_EQ(f->initialPhase2(), 90.0);
  }
  EXPECT_EQ(v->settings().figureSize, 0.8);
  EXPECT_EQ(v->settings().lineWidth, 2.0);
  EXPECT_FALSE(v->settings().isFitToScreenSize);
  EXPECT_TRUE(v->settings().isShowCurrentValue);
  EXPECT_TRUE(v->settings().isShowFrequency);
  EXPECT_FALSE(v->settings().isShowInitialPhase);
  EXPECT_EQ(v->settings().lineColor, Color::yellow());
  EXPECT_EQ(v->settings().textColor, Color::white());
  EXPECT_EQ(v->settings().backColor, Color::black());
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
}

TEST_F(SettingsLoadTest, AViewHandedNoStoreShowsTheBuiltInValuesWhateverTheFileHolds) {
  put(keys::kLineWidth, 4.0);
  put(keys::kSweepMethod, std::int64_t{2});
  ASSERT_EQ(ScreenSaverDefaults::fileForModule(kBundleIdentifier), storeFile());  // the file a lookup would read
  const std::string before = readStoreFile();
  auto v = OrbeluneView::create(makeRect(0, 0, 640, 480), false, nullptr);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->settings().lineWidth, 2.0);
  EXPECT_EQ(v->sweep().method, 1);
  EXPECT_EQ(v->settings().lineColor, Color::yellow());
  EXPECT_EQ(readStoreFile(), before);
}

TEST_F(SettingsLoadTest, StoredValuesReachTheViewAndTheOscillators) {
  put(keys::kSweepMethod, std::int64_t{2});
  put(keys::kSweepRate, 33.5);
  put(keys::kFrequencyY2, 7.25);
  put(keys::kInitialPhaseX2, -45.0);
  put(keys::kShowInitialPhase, true);
  put(keys::kLineWidth, 4.0);
  auto v = makeView();
  EXPECT_EQ(sweep().method, 2);
  EXPECT_EQ(sweep().sweepTime, 33.5);
  EXPECT_EQ(v->yAxis().frequency2(), 7.25);
  EXPECT_EQ(v->xAxis().initialPhase2(), -45.0);
  EXPECT_TRUE(v->settings().isShowInitialPhase);
  EXPECT_EQ(v->settings().lineWidth, 4.0);
}

TEST_F(SettingsLoadTest, UnusableSweepTimesAndNumbersFallBack) {
  put(keys::kSweepRate, 0.0);
  makeView();
  EXPECT_EQ(sweep().sweepTime, kMinimumSweepTime);
  put(keys::kSweepRate, -3.0);
  makeView();
  EXPECT_EQ(sweep().sweepTime, kMinimumSweepTime);
  // Out-of-range but positive values are taken as stored.
  put(keys::kSweepRate, 0.25);
  put(keys::kSweepMethod, std::int64_t{7});
  makeView();
  EXPECT_EQ(sweep().sweepTime, 0.25);
  EXPECT_EQ(sweep().method, 7);
  // A real that is not finite reads as not stored, in memory and on disk.
  put(keys::kFrequencyX1, NAN);
  EXPECT_EQ(makeView()->xAxis().frequency1(), 1.0);
  writeStoreFile(R"({"FrequencyX1": {"real": null}, "LineWidth": {"real": 5e-1}})");
  auto v = makeView();
  EXPECT_EQ(v->xAxis().frequency1(), 1.0);
  EXPECT_EQ(v->settings().lineWidth, 0.5);
}

TEST_F(SettingsLoadTest, StoredPhasesBeyondTheBoundsComeBackAtTheNearestBound) {
  put(keys::kInitialPhaseX, 1e308);
  put(keys::kInitialPhaseX2, -1e308);
  put(keys::kInitialPhaseY, -1e6 - 1);
  put(keys::kInitialPhaseY2, 720.0);  // within the bounds: taken as stored
  auto v = makeView();
  EXPECT_EQ(v->xAxis().initialPhase1(), 1e6);
  EXPECT_EQ(v->xAxis().initialPhase2(), -1e6);
  EXPECT_EQ(v->yAxis().initialPhase1(), -1e6);
  EXPECT_EQ(v->yAxis().initialPhase2(), 720.0);
  for (double t : {0.0, 0.5, 7.0, 20.0, 39.9}) {
    EXPECT_TRUE(std::isfinite(v->xAxis().degreeAt(t))) << t;
    EXPECT_TRUE(std::isfinite(v->xAxis().valueAt(t))) << t;
  }
}

TEST_F(SettingsLoadTest, StoredValuesTheFigureCannotTakeComeBackWithinWhereItsComputationsHold) {
  struct Case {
    const char* key;
    double stored;
    double loaded;
  };
  const Case cases[] = {
      {keys::kSweepRate, 1e-300, 0.01},       // shorter than half a sample step: the clock left the sweep
      {keys::kSweepRate, 0.001, 0.01},
      {keys::kFrequencyX1, 1e300, 1e6},       // a status line of 300 digits
      {keys::kFrequencyY2, -1e300, -1e6},
      {keys::kFigureSize, 1e308, 100.0},      // points at infinity
      {keys::kFigureSize, -1e308, -100.0},
      {keys::kLineWidth, 1e308, 1000.0},
      {keys::kLineWidth, -5.0, 0.0},
  };
  for (const Case& c : cases) {
    put(c.key, c.stored);
    Settings s;
    loadSettings(*store(), s);
    const SettingDescriptor& d = *findSetting(c.key);
    EXPECT_EQ(s.*d.member<double>(), c.loaded) << c.key << " " << c.stored;
    drawnStatusLine(c.key);
    store()->remove(c.key);
    ASSERT_TRUE(test::succeeded(store()->synchronize()));
  }
  // A sweep from the highest frequency to the lowest stays finite.
  put(keys::kFrequencyX1, 1e308);
  put(keys::kFrequencyX2, -1e308);
  drawnStatusLine("1e308 to -1e308");
}

TEST_F(SettingsLoadTest, StoredValuesTheFigureCanTakeAreKeptAsStoredBeyondTheSheetsBounds) {
  put(keys::kSweepRate, 0.05);
  put(keys::kFrequencyX1, -7.5);
  put(keys::kFrequencyX2, 250000.0);
  put(keys::kFigureSize, -0.5);
  put(keys::kLineWidth, 0.0);
  put(keys::kSweepMethod, std::int64_t{-4});
  Settings s;
  loadSettings(*store(), s);
  EXPECT_EQ(s.sweepTime, 0.05);
  EXPECT_EQ(s.frequencyX1, -7.5);
  EXPECT_EQ(s.frequencyX2, 250000.0);
  EXPECT_EQ(s.figureSize, -0.5);
  EXPECT_EQ(s.lineWidth, 0.0);
  EXPECT_EQ(s.sweepMethod, -4);
  drawnStatusLine("kept values");
}

TEST_F(SettingsLoadTest, LegacyColourMigratesUntilAKeyedOneIsStored) {
  put(keys::kBackColor, Archiver::archive(red));
  EXPECT_EQ(makeView()->settings().backColor, red);
  put(keys::kKeyedBackColor, KeyedArchiver::archive(teal));
  EXPECT_EQ(makeView()->settings().backColor, teal);
  put(keys::kBackColor, Archiver::archive(Color::white()));
  EXPECT_EQ(makeView()->settings().backColor, teal);  // the keyed key wins from now on
}

TEST_F(SettingsLoadTest, UndecodableColoursLeaveKeyedFieldsEmptyAndLegacyOnesBuiltIn) {
  put(keys::kKeyedLineColor, Bytes{'{', 'x'});
  put(keys::kLineColor, Archiver::archive(red));
  put(keys::kTextColor, Bytes{1, 2, 3});  // legacy garbage: the built-in white stays
  put(keys::kKeyedBackColor, std::string("not data"));
  auto v = makeView();
  EXPECT_EQ(v->settings().lineColor, std::nullopt);
  EXPECT_EQ(v->settings().textColor, Color::white());
  EXPECT_EQ(v->settings().backColor, std::nullopt);
}

TEST_F(SettingsLoadTest, AKeyedArchiveWithFieldsOfTheWrongTypeDecodesToNothing) {
  auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const std::string good = R"("red": 1, "green": 0, "blue": 0, "alpha": 1)";
  for (const std::string& json :
       {std::string(R"({"$archiver":"OrbeluneKeyedArchiver","$version":1,"root":{"$class":1}})"),
        R"({"$archiver":"OrbeluneKeyedArchiver","$version":1,"root":{"$class":null,"space":"sRGB",)" + good + "}}",
        R"({"$archiver":"OrbeluneKeyedArchiver","$version":1,"root":{"$class":"Color","space":[1],)" + good + "}}",
        R"({"$archiver":7,"$version":1,"root":{"$class":"Color","space":"sRGB",)" + good + "}}",
        R"({"$archiver":"OrbeluneKeyedArchiver","$version":"1","root":{"$class":"Color","space":"sRGB",)" + good +
            "}}",
        std::string(R"({"$archiver":"OrbeluneKeyedArchiver","$version":1,"root":{"$class":"Color","space":"sRGB",)"
                    R"("red":"1","green":0,"blue":0,"alpha":1}})")}) {
    EXPECT_EQ(KeyedUnarchiver::unarchiveColor(bytes(json)), std::nullopt) << json;
  }
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(bytes(
                R"({"$archiver":"OrbeluneKeyedArchiver","$version":1,"root":{"$class":"Color","space":"sRGB",)" +
                good + "}}")),
            red);
}

TEST_F(SettingsLoadTest, OlderSystemUsesOnlyTheLegacyKeys) {
  SystemVersion::overrideForTesting(false);
  put(keys::kKeyedLineColor, KeyedArchiver::archive(teal));
  put(keys::kTextColor, Archiver::archive(red));
  put(keys::kBackColor, Bytes{9, 9});
  auto v = makeView();
  EXPECT_EQ(v->settings().lineColor, Color::yellow());
  EXPECT_EQ(v->settings().textColor, red);
  EXPECT_EQ(v->settings().backColor, Color::black());

  Settings s;
  s.lineColor = teal;
  ASSERT_TRUE(writeSettings(*store(), s));
  auto stored = store()->storedValues();
  EXPECT_EQ(stored.at(keys::kLineColor), DefaultsValue(Archiver::archive(teal)));
  EXPECT_EQ(stored.at(keys::kKeyedLineColor), DefaultsValue(KeyedArchiver::archive(teal)));
  EXPECT_EQ(stored.count(keys::kKeyedTextColor), 0u);
}

TEST_F(SettingsLoadTest, WriteSettingsStoresEveryKeyWithItsType) {
  Settings s;
  s.sweepMethod = 2;
  ASSERT_TRUE(writeSettings(*store(), s));
  auto stored = store()->storedValues();
  EXPECT_EQ(stored.size(), 20u);
  EXPECT_TRUE(std::holds_alternative<std::int64_t>(stored.at(keys::kSweepMethod)));
  for (const char* k : {keys::kSweepRate, keys::kFrequencyX1, keys::kInitialPhaseY2, keys::kFigureSize,
                        keys::kLineWidth, keys::kShuffleMinutes}) {
    EXPECT_TRUE(std::holds_alternative<double>(stored.at(k))) << k;
  }
  for (const char* k : {keys::kFitToScreenSize, keys::kShowCurrentValue, keys::kShowFrequency,
                        keys::kShowInitialPhase}) {
    EXPECT_TRUE(std::holds_alternative<bool>(stored.at(k))) << k;
  }
  EXPECT_EQ(stored.count(keys::kLineColor), 0u);
  EXPECT_EQ(makeView()->xAxis().frequency1(), 1.0);
  EXPECT_EQ(sweep().method, 2);
}

}  // namespace
}  // namespace orbelune
