#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "bundle_info.h"
#include "sheet/opaque_color_well.h"
#include "sheet/sheet_controller.h"
#include "sheet_fixture.h"
#include "oscillator/oscillator.h"
#include "store/color_archive.h"
#include "contracts/color_panel.h"
#include "store/screen_saver_defaults.h"
#include "store/system_version.h"
#include "settings/presets.h"
#include "settings/settings_keys.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

class ConfigSheetTest : public test::SheetFixture {
 protected:
  // What the settings file holds now, as another program would read it.
  std::shared_ptr<ScreenSaverDefaults> store() { return openStore(); }

  const char* sweepFields[5] = {"_textSweepRate", "_textFrequencyX2", "_textFrequencyY2", "_textInitialPhaseX2",
                                "_textInitialPhaseY2"};
  const char* sweepLabels[6] = {"_labelSweepRate", "_labelSecond", "_labelXFrequencyFromTo", "_labelYFrequencyFromTo",
                                "_labelXInitialPhaseFromTo", "_labelYInitialPhaseFromTo"};
};

TEST_F(ConfigSheetTest, OpeningFillsEveryControlFromTheLiveState) {
  Panel* panel = open();
  ASSERT_EQ(panel, loader.panel());
  EXPECT_EQ(loader.control<MemoryPopUpButton>("_menuSweepMethod").selectedIndex(), 1);
  EXPECT_EQ(field("_textFrequencyX1").stringValue(), "1.00");
  EXPECT_EQ(field("_textFrequencyX2").stringValue(), "6.00");
  EXPECT_EQ(field("_textSweepRate").stringValue(), "20.00");
  EXPECT_EQ(field("_textInitialPhaseY1").stringValue(), "90.00");
  EXPECT_EQ(field("_textLineWidth").stringValue(), "2.00");
  EXPECT_EQ(loader.control<MemorySlider>("_sliderFigureSize").doubleValue(), 0.8);
  EXPECT_EQ(loader.control<MemorySlider>("_sliderFigureSize").toolTip(), "0.80");
  EXPECT_EQ(loader.box("_cboxShowCurrentValue").state(), 1);
  EXPECT_EQ(loader.box("_cboxShowInitialPhase").state(), 0);
  EXPECT_EQ(loader.well("_cwellLineColor").color(), Color::yellow());
  EXPECT_EQ(loader.well("_cwellBackColor").color(), Color::black());
  EXPECT_NE(dynamic_cast<MyNoneAlphaColorWell*>(&loader.well("_cwellBackColor")), nullptr);
  EXPECT_EQ(dynamic_cast<MyNoneAlphaColorWell*>(&loader.well("_cwellLineColor")), nullptr);

  // Live changes made during the first opening are what the second one shows,
  // and the file is not loaded again.
  field("_textFrequencyX1").userClears();
  field("_textFrequencyX1").userTypes("3.5");
  sheet->handlingSlider(&loader.control<MemorySlider>("_sliderFigureSize"));
  loader.control<MemorySlider>("_sliderFigureSize").userDrags(0.5);
  open();
  EXPECT_EQ(loader.loads, 1);
  EXPECT_EQ(field("_textFrequencyX1").stringValue(), "3.50");
  EXPECT_EQ(loader.control<MemorySlider>("_sliderFigureSize").toolTip(), "0.50");
  EXPECT_EQ(view->settings().figureSize, 0.5);
}

TEST_F(ConfigSheetTest, TheSweepMenuDisablesAndRefillsTheSweepGroup) {
  open();
  auto& menu = loader.control<MemoryPopUpButton>("_menuSweepMethod");
  menu.userSelects(0);
  EXPECT_EQ(sweep().method, 0);
  for (const char* name : sweepFields) {
    EXPECT_EQ(field(name).stringValue(), "-") << name;
    EXPECT_FALSE(field(name).isEnabled()) << name;
  }
  for (const char* name : sweepLabels) EXPECT_EQ(field(name).textColor(), colors.disabledControlTextColor()) << name;
  EXPECT_EQ(view->xAxis().frequency2(), 6.0);  // the state's second values stay

  menu.userSelects(2);
  EXPECT_EQ(sweep().method, 2);
  EXPECT_EQ(field("_textFrequencyX2").stringValue(), "6.00");
  EXPECT_EQ(field("_textSweepRate").stringValue(), "20.00");
  for (const char* name : sweepFields) EXPECT_TRUE(field(name).isEnabled()) << name;
  for (const char* name : sweepLabels) EXPECT_EQ(field(name).textColor(), colors.controlTextColor()) << name;
  // An action from another control changes nothing.
  const int fetches = colors.fetches;
  sheet->handlingMenu(&field("_textSweepRate"));
  EXPECT_EQ(sweep().method, 2);
  EXPECT_EQ(colors.fetches, fetches);
}

TEST_F(ConfigSheetTest, CheckBoxesSetTheirFlagAndOnlyTheMasterSwitchRefreshes) {
  open();
  loader.box("_cboxShowCurrentValue").userClicks();
  EXPECT_FALSE(view->settings().isShowCurrentValue);
  EXPECT_FALSE(loader.box("_cboxShowFrequency").isEnabled());
  EXPECT_FALSE(loader.box("_cboxShowInitialPhase").isEnabled());
  EXPECT_FALSE(loader.well("_cwellTextColor").isEnabled());
  EXPECT_EQ(field("_labelTextColor").textColor(), colors.disabledControlTextColor());
  EXPECT_TRUE(view->settings().isShowFrequency);  // the flags themselves stay

  const int fetches = colors.fetches;
  loader.box("_cboxFitToScreenSize").userClicks();
  EXPECT_TRUE(view->settings().isFitToScreenSize);
  loader.box("_cboxShowInitialPhase").userClicks(-1);  // mixed reads as on
  EXPECT_TRUE(view->settings().isShowInitialPhase);
  EXPECT_EQ(colors.fetches, fetches);  // no refresh for the other boxes

  loader.box("_cboxShowCurrentValue").userClicks();
  EXPECT_TRUE(loader.well("_cwellTextColor").isEnabled());
  EXPECT_EQ(field("_labelTextColor").textColor(), colors.controlTextColor());
}

TEST_F(ConfigSheetTest, TypingStoresEachBoundedPrefixAndEndingShowsTheStoredValue) {
  open();
  auto& x1 = field("_textFrequencyX1");
  x1.userClears();
  EXPECT_EQ(view->xAxis().frequency1(), 0.1);  // empty text is the lower bound
  std::vector<double> seen;
  for (char c : std::string("250")) {
    x1.userTypes(std::string(1, c));
    seen.push_back(view->xAxis().frequency1());
  }
  EXPECT_EQ(seen, (std::vector<double>{2, 25, 250}));
  x1.userTypes("0x");  // 2500x: bounded, and the text stays as typed
  EXPECT_EQ(view->xAxis().frequency1(), 1000.0);
  EXPECT_EQ(x1.stringValue(), "2500x");
  x1.userEndsEditing();
  EXPECT_EQ(x1.stringValue(), "1000.00");

  struct Case {
    const char* field;
    const char* text;
    double stored;
  } cases[] = {
      {"_textFrequencyY2", "0", 0.1},        {"_textFrequencyY2", "-5", 0.1},
      {"_textFrequencyY2", "0.1", 0.1},      {"_textFrequencyY2", "1000", 1000.0},
      {"_textSweepRate", "0.5", 1.0},        {"_textSweepRate", "100000", 86400.0},
      {"_textSweepRate", "86400", 86400.0},  {"_textLineWidth", "0", 1.0},
      {"_textLineWidth", "15", 10.0},        {"_textLineWidth", "2.5", 2.5},
      {"_textInitialPhaseX1", "-720", -720}, {"_textInitialPhaseX2", "1000", 1000},
      {"_textInitialPhaseY2", "abc", 0},     {"_textFrequencyX2", "nan", 0.1},
      {"_textFrequencyX2", "inf", 0.1},      {"_textFrequencyX2", "1e999", 1000},
      {"_textInitialPhaseY1", "-inf", 0},    {"_textFrequencyX2", "  7.5Hz", 7.5},
  };
  auto stored = [&](const char* name) {
    std::string n = name;
    if (n == "_textFrequencyY2") return view->yAxis().frequency2();
    if (n == "_textFrequencyX2") return view->xAxis().frequency2();
    if (n == "_textSweepRate") return sweep().sweepTime;
    if (n == "_textLineWidth") return view->settings().lineWidth;
    if (n == "_textInitialPhaseX1") return view->xAxis().initialPhase1();
    if (n == "_textInitialPhaseX2") return view->xAxis().initialPhase2();
    if (n == "_textInitialPhaseY1") return view->yAxis().initialPhase1();
    return view->yAxis().initialPhase2();
  };
  for (const auto& c : cases) {
    auto& f = field(c.field);
    f.setStringValue("");
    f.userTypes(c.text);
    EXPECT_EQ(stored(c.field), c.stored) << c.field << " " << c.text;
    EXPECT_TRUE(std::isfinite(stored(c.field)));
  }
}

TEST_F(ConfigSheetTest, PhaseFieldsClampToTheirBoundsAndOkStoresTheBound) {
  open();
  auto& x1 = field("_textInitialPhaseX1");
  x1.userClears();
  x1.userTypes(std::string(308, '9'));
  EXPECT_EQ(view->xAxis().initialPhase1(), 1e6);
  auto& y2 = field("_textInitialPhaseY2");
  y2.userClears();
  y2.userTypes("-" + std::string(300, '9'));
  EXPECT_EQ(view->yAxis().initialPhase2(), -1e6);
  y2.userEndsEditing();
  EXPECT_EQ(y2.stringValue(), "-1000000.00");
  for (double t : {0.0, 1.0, 10.0, 19.5}) {
    EXPECT_TRUE(std::isfinite(view->xAxis().valueAt(t))) << t;
    EXPECT_TRUE(std::isfinite(view->yAxis().degreeAt(t))) << t;
  }
  loader.box(sheet_outlets::kOkButton).userClicks();
  auto s = store();
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kInitialPhaseX)), 1e6);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kInitialPhaseY2)), -1e6);
}

TEST_F(ConfigSheetTest, NumbersTooLargeForADoubleGiveTheFieldsNearerBound) {
  open();
  auto& time = field("_textSweepRate");
  time.userClears();
  time.setStringValue(std::string(9999, '7'));
  time.userTypes("7");
  EXPECT_EQ(sweep().sweepTime, 86400.0);
  time.setStringValue("-" + std::string(9999, '7'));
  time.userTypes("7");
  EXPECT_EQ(sweep().sweepTime, 1.0);
  time.userEndsEditing();
  EXPECT_EQ(time.stringValue(), "1.00");
  auto& width = field("_textLineWidth");
  width.userClears();
  width.userTypes("5e400");
  EXPECT_EQ(view->settings().lineWidth, 10.0);
  width.userClears();
  width.userTypes("5e-400");  // too small for a double: 0, then the lower bound
  EXPECT_EQ(view->settings().lineWidth, 1.0);
  auto& x1 = field("_textInitialPhaseX1");
  x1.userClears();
  x1.userTypes("-1" + std::string(400, '0'));
  EXPECT_EQ(view->xAxis().initialPhase1(), -1e6);
}

TEST_F(ConfigSheetTest, ACommaIsTheDecimalMarkInAnyLocaleAndTheFieldsShowAPoint) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  open();
  for (const char* text : {"2,5", " 2,5 points", "2,50"}) {
    auto& width = field("_textLineWidth");
    width.userClears();
    width.userTypes(text);
    EXPECT_EQ(view->settings().lineWidth, 2.5) << text << (german ? " in de_DE" : " in C");
    width.userEndsEditing();
    EXPECT_EQ(width.stringValue(), "2.50");
  }
  auto& y1 = field("_textFrequencyY1");
  y1.userClears();
  y1.userTypes("-0,5");  // below the bound
  EXPECT_EQ(view->yAxis().frequency1(), 0.1);
  y1.userClears();
  y1.userTypes(",75e1");
  EXPECT_EQ(view->yAxis().frequency1(), 7.5);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(ConfigSheetTest, OkStoresTheLiveStateWithTheWellsColoursAndEndsTheSheet) {
  open();
  auto& x2 = field("_textFrequencyX2");
  x2.userClears();
  x2.userTypes("42");  // still being edited when OK is pressed
  loader.control<MemoryPopUpButton>("_menuSweepMethod").userSelects(0);
  loader.box("_cboxShowCurrentValue").userClicks();
  const Color green{0, 1, 0, 0.5};
  loader.well("_cwellLineColor").setColor(green);
  EXPECT_EQ(view->settings().lineColor, Color::yellow());  // nothing reaches the view before OK
  loader.box(sheet_outlets::kOkButton).userClicks();

  EXPECT_EQ(host.ended, (std::vector<Panel*>{loader.panel()}));
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(view->settings().lineColor, green);
  auto s = store();
  EXPECT_EQ(s->storedValues().size(), 20u);
  EXPECT_EQ(std::get<std::int64_t>(*s->storedValue(keys::kSweepMethod)), 0);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kFrequencyX2)), 42.0);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kSweepRate)), 20.0);  // disabled, still stored
  EXPECT_EQ(std::get<bool>(*s->storedValue(keys::kShowFrequency)), true);
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(std::get<Bytes>(*s->storedValue(keys::kKeyedLineColor))),
            green);
  EXPECT_FALSE(s->storedValue(keys::kLineColor).has_value());

  // A view created afterwards starts from what OK stored.
  auto later = newView(makeRect(0, 0, 10, 10), true);
  EXPECT_EQ(later->xAxis().frequency2(), 42.0);
  EXPECT_EQ(later->settings().lineColor, green);
  EXPECT_FALSE(later->settings().isShowCurrentValue);
}

TEST_F(ConfigSheetTest, OkWritesOnlyWhatTheSheetChangedAndKeepsWhatAnotherProgramStoredMeanwhile) {
  writeStoreFile(R"({"FigureSize": {"real": 0.5}})");
  open();
  const Color red{1, 0, 0, 1};
  {
    auto other = store();
    other->setObject(5.0, keys::kSweepRate);
    other->setObject(3.0, keys::kFrequencyX1);
    other->setObject(KeyedArchiver::archive(red), keys::kKeyedLineColor);
    ASSERT_TRUE(test::succeeded(other->synchronize()));
  }
  auto& width = field("_textLineWidth");
  width.userClears();
  width.userTypes("7");
  width.userEndsEditing();
  loader.box(sheet_outlets::kOkButton).userClicks();

  EXPECT_TRUE(host.errors.empty());
  auto s = store();
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kLineWidth)), 7.0);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kSweepRate)), 5.0);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kFrequencyX1)), 3.0);
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(std::get<Bytes>(*s->storedValue(keys::kKeyedLineColor))), red);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kFigureSize)), 0.5);
  EXPECT_EQ(s->storedValues().size(), 5u);  // nothing else was set, in the sheet or elsewhere
  EXPECT_EQ(view->settings().sweepTime, 20.0);  // the live view keeps what the sheet showed
}

TEST_F(ConfigSheetTest, TheShuffleFieldShowsEditsAndStoresTheMinutes) {
  open();
  auto& minutes = field("_textShuffleMinutes");
  EXPECT_EQ(minutes.stringValue(), "0.00");
  const double rate = sweep().samplingRate;
  minutes.userClears();
  minutes.userTypes("2.5");
  EXPECT_EQ(view->settings().shuffleMinutes, 2.5);  // at once, on the running view
  EXPECT_EQ(sweep().samplingRate, rate);            // nothing restarts
  minutes.userClears();
  minutes.userTypes("5000");
  EXPECT_EQ(view->settings().shuffleMinutes, 1440.0);
  minutes.userClears();
  minutes.userTypes("-3");
  EXPECT_EQ(view->settings().shuffleMinutes, 0.0);
  minutes.userClears();
  minutes.userTypes("10");
  minutes.userEndsEditing();
  EXPECT_EQ(minutes.stringValue(), "10.00");
  loader.box(sheet_outlets::kOkButton).userClicks();
  EXPECT_EQ(std::get<double>(*store()->storedValue(keys::kShuffleMinutes)), 10.0);
}

TEST_F(ConfigSheetTest, TwoSettingsAppsPressingOkEachKeepTheOthersChange) {
  // Two programs, each with its own store, view and sheet on the same file.
  auto otherStore = store();
  auto otherView = OrbeluneView::create(makeRect(0, 0, 100, 80), false, otherStore, nullptr,
                                        std::make_shared<SweepParameters>());
  test::MemorySheetLoader otherLoader;
  MemorySheetHost otherHost;
  ColorPanel otherPanel;
  SheetController other(*otherView, {&otherLoader, &otherHost, &colors, &otherPanel}, otherStore);
  open();
  ASSERT_TRUE(other.configureSheet().ok());

  auto& width = field("_textLineWidth");
  width.userClears();
  width.userTypes("7");
  width.userEndsEditing();
  auto& x1 = otherLoader.field("_textFrequencyX1");
  x1.userClears();
  x1.userTypes("4");
  x1.userEndsEditing();
  const Color blue{0, 0, 1, 1};
  otherLoader.well("_cwellBackColor").setColor(blue);

  loader.box(sheet_outlets::kOkButton).userClicks();
  EXPECT_EQ(store()->storedValues().size(), 20u);  // the first OK on an empty file makes it complete
  otherLoader.box(sheet_outlets::kOkButton).userClicks();
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(otherHost.errors.empty());

  auto s = store();
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kLineWidth)), 7.0);
  EXPECT_EQ(std::get<double>(*s->storedValue(keys::kFrequencyX1)), 4.0);
  EXPECT_EQ(KeyedUnarchiver::unarchiveColor(std::get<Bytes>(*s->storedValue(keys::kKeyedBackColor))), blue);
  EXPECT_EQ(s->storedValues().size(), 20u);
}

TEST_F(ConfigSheetTest, OkOnAnOlderSystemWritesTheLegacyColoursOnly) {
  SystemVersion::overrideForTesting(false);
  open();
  sheet->clickOK(nullptr);
  auto s = store();
  EXPECT_EQ(Unarchiver::unarchive(std::get<Bytes>(*s->storedValue(keys::kBackColor))),
            Color::black());
  EXPECT_FALSE(s->storedValue(keys::kKeyedBackColor).has_value());
}

TEST_F(ConfigSheetTest, AFailedWriteStillEndsTheSheetKeepsTheStateAndTellsTheUser) {
  writeStoreFile(R"({"FigureSize": {"real": 0.3}})");
  auto v = newView(makeRect(0, 0, 10, 10), false);
  SheetController vSheet(*v, context(), hostStore());
  ASSERT_TRUE(vSheet.configureSheet().ok());
  test::editSettings(*v, [](Settings& s) { s.lineWidth = 7.0; });
  test::FailingRenames failing;
  vSheet.clickOK(nullptr);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find(storeFile().string()), std::string::npos) << host.errors[0];
  EXPECT_EQ(host.ended.size(), 1u);
  EXPECT_EQ(v->settings().lineWidth, 7.0);
  EXPECT_EQ(readStoreFile(), R"({"FigureSize": {"real": 0.3}})");
}

TEST_F(ConfigSheetTest, OkWhileAnotherProgramKeepsTheLockTellsTheUserInsteadOfFreezing) {
  writeStoreFile(R"({"FigureSize": {"real": 0.3}})");
  auto v = newView(makeRect(0, 0, 10, 10), false);
  SheetController vSheet(*v, context(), hostStore());
  ASSERT_TRUE(vSheet.configureSheet().ok());
  test::editSettings(*v, [](Settings& s) { s.lineWidth = 7.0; });
  test::StoppedLockHolder holder(storeFile().parent_path(), std::chrono::seconds(4));
  ASSERT_TRUE(holder.holding());
  hostStore()->setLockWait(std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  vSheet.clickOK(nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("the settings file is locked by another program"), std::string::npos)
      << host.errors[0];
  EXPECT_EQ(host.ended.size(), 1u);
  EXPECT_EQ(v->settings().lineWidth, 7.0);
  EXPECT_EQ(readStoreFile(), R"({"FigureSize": {"real": 0.3}})");
}

TEST_F(ConfigSheetTest, WithoutTheInterfaceFileThereIsNoPanelAndTheNextCallTriesAgain) {
  loader.failLoading = true;
  auto failed = sheet->configureSheet();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "no interface file ConfigureSheet");  // the loader's own reason
  EXPECT_EQ(open(), nullptr);
  EXPECT_EQ(loader.loads, 2);
  sheet->clickOK(nullptr);  // acts on no controls, and does not crash
  EXPECT_TRUE(view->hasConfigureSheet());
}

TEST_F(ConfigSheetTest, ASheetWithoutItsOkActionOrAnOutletIsRefusedAndTheNextCallTriesAgain) {
  loader.connectOk = false;
  auto noOk = sheet->configureSheet();
  ASSERT_FALSE(noOk.ok());
  EXPECT_EQ(noOk.error().message, "the interface file ConfigureSheet.ui has no button that sends clickOK:");
  EXPECT_EQ(loader.panel(), nullptr);  // the loader's objects are released
  sheet->clickOK(nullptr);             // acts on no controls, and does not crash

  loader.connectOk = true;
  loader.omitOutlet = "_cwellBackColor";
  auto noWell = sheet->configureSheet();
  ASSERT_FALSE(noWell.ok());
  EXPECT_EQ(noWell.error().message, "the interface file ConfigureSheet.ui has no control named _cwellBackColor");

  loader.omitOutlet.clear();
  EXPECT_NE(open(), nullptr);
  EXPECT_EQ(loader.loads, 3);
}

TEST_F(ConfigSheetTest, TheBackgroundWellHidesOpacityWhileThePanelServesIt) {
  open();
  auto& back = loader.well("_cwellBackColor");
  auto& line = loader.well("_cwellLineColor");
  auto& panel = colorPanel;
  EXPECT_TRUE(panel.showsAlpha());
  line.activate(true);
  EXPECT_TRUE(panel.showsAlpha());
  back.activate(true);
  EXPECT_FALSE(panel.showsAlpha());
  EXPECT_TRUE(back.isActive());
  line.activate(true);  // deactivates the background well first
  EXPECT_TRUE(panel.showsAlpha());
  EXPECT_FALSE(back.isActive());
  panel.setShowsAlpha(false);
  back.activate(true);
  back.deactivate();
  EXPECT_TRUE(panel.showsAlpha());
  line.deactivate();
}

TEST_F(ConfigSheetTest, SheetsWithPanelsOfTheirOwnDoNotShareTheActiveWell) {
  open();
  test::MemorySheetLoader otherLoader;
  ColorPanel otherPanel;
  otherPanel.setShowsAlpha(false);
  auto otherView = newView(makeRect(0, 0, 100, 80), true);
  SheetController other(*otherView, {&otherLoader, &host, &colors, &otherPanel}, hostStore());
  EXPECT_TRUE(otherPanel.showsAlpha());  // a new sheet's panel offers opacity
  ASSERT_TRUE(other.configureSheet().ok());
  auto& back = loader.well("_cwellBackColor");
  auto& otherLine = otherLoader.well("_cwellLineColor");
  auto& otherBack = otherLoader.well("_cwellBackColor");

  back.activate(true);
  otherLine.activate(true);  // exclusive within its own panel only
  EXPECT_TRUE(back.isActive());
  EXPECT_TRUE(otherLine.isActive());
  EXPECT_EQ(colorPanel.activeWell(), &back);
  EXPECT_EQ(otherPanel.activeWell(), &otherLine);
  EXPECT_FALSE(colorPanel.showsAlpha());
  EXPECT_TRUE(otherPanel.showsAlpha());

  otherBack.activate(true);
  EXPECT_FALSE(otherLine.isActive());
  EXPECT_FALSE(otherPanel.showsAlpha());
  back.deactivate();
  EXPECT_TRUE(colorPanel.showsAlpha());
  EXPECT_FALSE(otherPanel.showsAlpha());
  EXPECT_EQ(colorPanel.activeWell(), nullptr);
  EXPECT_EQ(otherPanel.activeWell(), &otherBack);
}

TEST_F(ConfigSheetTest, TheOpaqueWellClassIsKnownOnlyToTheLoaderTheSheetWasHanded) {
  test::MemorySheetLoader stranger;
  EXPECT_FALSE(loader.wellClasses().has(sheet_outlets::kOpaqueWellClass));
  open();
  EXPECT_TRUE(loader.wellClasses().has(sheet_outlets::kOpaqueWellClass));
  EXPECT_FALSE(stranger.wellClasses().has(sheet_outlets::kOpaqueWellClass));
  auto plain = stranger.wellClasses().make(sheet_outlets::kOpaqueWellClass);
  EXPECT_EQ(dynamic_cast<MyNoneAlphaColorWell*>(plain.get()), nullptr);
}

TEST_F(ConfigSheetTest, OkWithNoStoreSaysThereIsNowhereToSaveAndKeepsTheLiveState) {
  SheetController unsaved(*view, context(), nullptr);
  ASSERT_TRUE(unsaved.configureSheet().ok());
  test::editSettings(*view, [](Settings& s) { s.lineWidth = 6.0; });
  unsaved.clickOK(nullptr);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("there is no settings folder"), std::string::npos) << host.errors[0];
  EXPECT_EQ(host.ended.size(), 1u);
  EXPECT_EQ(view->settings().lineWidth, 6.0);
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
}

TEST_F(ConfigSheetTest, ASweepMethodChangeActsOnEveryViewOfTheHostAndNoOther) {
  auto preview = newView(makeRect(0, 0, 100, 80), true);
  auto elsewhere = OrbeluneView::create(makeRect(0, 0, 100, 80), false, hostStore());  // another host's view
  // Every view of the host and the shared parameters say the same sweep.
  auto agree = [&](std::int64_t method, double time) {
    for (const OrbeluneView* v : {view.get(), preview.get()}) {
      EXPECT_EQ(v->settings().sweepMethod, method);
      EXPECT_EQ(v->settings().sweepTime, time);
    }
    EXPECT_EQ(sweep().method, method);
    EXPECT_EQ(sweep().sweepTime, time);
  };
  open();
  loader.control<MemoryPopUpButton>("_menuSweepMethod").userSelects(0);
  agree(0, 20.0);
  preview->startAnimation();  // the other view now derives its sizes without sweep
  EXPECT_EQ(preview->maxPathNum(), 12);
  loader.control<MemoryPopUpButton>("_menuSweepMethod").userSelects(1);
  field("_textSweepRate").setStringValue("");
  field("_textSweepRate").userTypes("30");
  agree(1, 30.0);
  EXPECT_EQ(elsewhere->sweep().sweepTime, 20.0);
  EXPECT_EQ(elsewhere->settings().sweepTime, 20.0);
  // A whole figure shown through the sheet: the view changes figure, all follow.
  const Preset* bloom = findPreset("Logarithmic bloom");
  ASSERT_NE(bloom, nullptr);
  loader.control<MemoryPopUpButton>(sheet_outlets::kPresetMenu).userSelects(bloom - presetTable().data() + 1);
  agree(bloom->sweepMethod, bloom->sweepTime);
}

TEST_F(ConfigSheetTest, APresetOrASurpriseShowsAWholeFigureAtOnceAndOkStoresIt) {
  open();
  auto& menu = loader.control<MemoryPopUpButton>(sheet_outlets::kPresetMenu);
  // The menu lists the gallery from its table, after an item that chooses nothing.
  ASSERT_EQ(menu.items().size(), presetTable().size() + 1);
  EXPECT_EQ(menu.items()[1], presetTable()[0].name);
  EXPECT_EQ(menu.selectedIndex(), 0);
  const Preset* eight = findPreset("Figure eight");
  ASSERT_NE(eight, nullptr);
  const auto at = static_cast<std::int64_t>(eight - presetTable().data()) + 1;
  // A colour picked but not yet stored stays in its well across a whole figure.
  const Color green{0.0, 1.0, 0.0, 1.0};
  loader.well("_cwellLineColor").setColor(green);
  menu.userSelects(at);
  EXPECT_EQ(loader.well("_cwellLineColor").color(), green);
  EXPECT_EQ(view->settings().frequencyY1, eight->frequencyY1);  // on the running figure at once
  EXPECT_EQ(view->settings().sweepMethod, eight->sweepMethod);
  EXPECT_EQ(field("_textFrequencyY1").stringValue(), "2.00");  // and in the fields
  EXPECT_EQ(field("_textInitialPhaseX1").stringValue(), "0.00");
  EXPECT_EQ(loader.control<MemoryPopUpButton>("_menuSweepMethod").selectedIndex(), 0);
  EXPECT_EQ(menu.selectedIndex(), at);

  // Surprise me: the figure its seed draws, shown whole.
  sheet->setSurpriseSeedForTesting(7);
  Settings expected = view->settings();
  surpriseFigure(expected, 7);
  loader.box("_buttonSurprise").userClicks();
  EXPECT_EQ(menu.selectedIndex(), 0);  // no longer a figure of the gallery
  EXPECT_EQ(view->settings().frequencyX1, expected.frequencyX1);
  EXPECT_EQ(view->settings().initialPhaseY, expected.initialPhaseY);
  EXPECT_EQ(field("_textFrequencyX1").stringValue(), format2f(expected.frequencyX1));
  loader.box(sheet_outlets::kOkButton).userClicks();
  EXPECT_EQ(store()->real(keys::kFrequencyY1), expected.frequencyY1);  // OK stores what it shows
  EXPECT_EQ(store()->real(keys::kInitialPhaseX), expected.initialPhaseX);
}

}  // namespace
}  // namespace orbelune
