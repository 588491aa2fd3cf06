// The configuration sheet on real GTK widgets, loaded from the real interface
// file. Runs under a virtual X server (see CMakeLists.txt).
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sheet/sheet_controller.h"
#include "sheet/sheet_outlets.h"
#include "oscillator/oscillator.h"
#include "contracts/color_panel.h"
#include "gtk/gtk_controls.h"
#include "gtk/gtk_interface_loader.h"
#include "memory_controls.h"
#include "test_support.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

class GtkSheetTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    unsetenv("ORBELUNE_DATA_DIR");
    view = newView(makeRect(0, 0, 320, 200), true);
    sheet = std::make_unique<SheetController>(*view, SheetContext{&loader, &host, &colors, &colorPanel}, hostStore());
  }
  void TearDown() override {
    sheet.reset();
    view.reset();
    IsolatedTest::TearDown();
  }
  GtkWidget* widget(const std::string& id) { return GTK_WIDGET(loader.objectOf(*sheet, id)); }
  GtkEditable* entry(const std::string& id) { return GTK_EDITABLE(widget(id)); }
  // Types like a user: one character at a time at the end of the text.
  void type(const std::string& id, const std::string& text) {
    for (char c : text) {
      int pos = static_cast<int>(std::string(gtk_editable_get_text(entry(id))).size());
      gtk_editable_insert_text(entry(id), std::string(1, c).c_str(), 1, &pos);
    }
  }
  static void spin() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }

  ColorPanel colorPanel;  // before the loader, whose chooser follows it
  GtkInterfaceLoader loader;
  MemorySheetHost host;
  GtkSystemColors colors;
  std::unique_ptr<OrbeluneView> view;
  std::unique_ptr<SheetController> sheet;
};

TEST_F(GtkSheetTest, TheInterfaceFileWiresEveryOutletToItsControl) {
  auto panel = sheet->configureSheet();
  ASSERT_TRUE(panel.ok()) << panel.error().message;
  ASSERT_NE(*panel, nullptr);
  std::vector<std::string> expected = {sheet_outlets::kPanel};
  for (const auto& o : sheet_outlets::kOutlets) expected.push_back(o.name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(loader.connectedOutlets(*sheet), expected);
  GListModel* items = gtk_drop_down_get_model(GTK_DROP_DOWN(widget("_menuSweepMethod")));
  EXPECT_EQ(g_list_model_get_n_items(items), 3u);
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(widget("_sliderFigureSize")));
  EXPECT_EQ(gtk_adjustment_get_lower(adj), 0.1);
  EXPECT_EQ(gtk_adjustment_get_upper(adj), 1.0);
  EXPECT_STREQ(gtk_editable_get_text(entry("_textSweepRate")), "20.00");
  EXPECT_STREQ(gtk_widget_get_tooltip_text(widget("_sliderFigureSize")), "0.80");
}

TEST_F(GtkSheetTest, TypingIntoARealEntryChangesTheLiveViewKeystrokeByKeystroke) {
  test::editSettings(*view, [](Settings& s) { s.frequencyX1 = 1.375; });
  ASSERT_TRUE(sheet->configureSheet().ok());
  // Filling the fields is no edit: the state keeps its full precision.
  EXPECT_STREQ(gtk_editable_get_text(entry("_textFrequencyX1")), "1.38");
  EXPECT_EQ(view->xAxis().frequency1(), 1.375);

  gtk_editable_set_text(entry("_textFrequencyX1"), "");
  EXPECT_EQ(view->xAxis().frequency1(), 0.1);
  std::vector<double> seen;
  for (char c : std::string("250")) {
    type("_textFrequencyX1", std::string(1, c));
    seen.push_back(view->xAxis().frequency1());
  }
  EXPECT_EQ(seen, (std::vector<double>{2, 25, 250}));
  type("_textFrequencyX1", "0");
  EXPECT_EQ(view->xAxis().frequency1(), 1000.0);
  EXPECT_STREQ(gtk_editable_get_text(entry("_textFrequencyX1")), "2500");
  g_signal_emit_by_name(widget("_textFrequencyX1"), "activate");  // Enter ends the edit
  EXPECT_STREQ(gtk_editable_get_text(entry("_textFrequencyX1")), "1000.00");

  gtk_editable_set_text(entry("_textLineWidth"), "1e999");  // too large for a double: the upper bound
  EXPECT_EQ(view->settings().lineWidth, 10.0);
}

TEST_F(GtkSheetTest, EntriesTakeAtMost32CharactersAndAHugeNumberIsTheBound) {
  ASSERT_TRUE(sheet->configureSheet().ok());
  for (const char* id : {"_textSweepRate", "_textFrequencyX1", "_textInitialPhaseY2", "_textLineWidth"}) {
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(widget(id))), 32) << id;
  }
  gtk_editable_set_text(entry("_textSweepRate"), "");
  const std::string sevens(10000, '7');
  int pos = 0;
  gtk_editable_insert_text(entry("_textSweepRate"), sevens.c_str(), -1, &pos);
  EXPECT_EQ(std::string(gtk_editable_get_text(entry("_textSweepRate"))), std::string(32, '7'));
  EXPECT_EQ(sweep().sweepTime, 86400.0);
  gtk_editable_set_text(entry("_textLineWidth"), "2,5");
  EXPECT_EQ(view->settings().lineWidth, 2.5);
  g_signal_emit_by_name(widget("_textLineWidth"), "activate");
  EXPECT_STREQ(gtk_editable_get_text(entry("_textLineWidth")), "2.50");
}

TEST_F(GtkSheetTest, TheMenuAndCheckBoxesActOnTheStateAndTheDependentControls) {
  ASSERT_TRUE(sheet->configureSheet().ok());
  gtk_drop_down_set_selected(GTK_DROP_DOWN(widget("_menuSweepMethod")), 0);
  EXPECT_EQ(sweep().method, 0);
  EXPECT_STREQ(gtk_editable_get_text(entry("_textFrequencyY2")), "-");
  EXPECT_FALSE(gtk_widget_get_sensitive(widget("_textSweepRate")));
  gtk_drop_down_set_selected(GTK_DROP_DOWN(widget("_menuSweepMethod")), 2);
  EXPECT_EQ(sweep().method, 2);
  EXPECT_STREQ(gtk_editable_get_text(entry("_textFrequencyY2")), "6.00");
  EXPECT_TRUE(gtk_widget_get_sensitive(widget("_textSweepRate")));

  gtk_check_button_set_active(GTK_CHECK_BUTTON(widget("_cboxShowCurrentValue")), FALSE);
  EXPECT_FALSE(view->settings().isShowCurrentValue);
  EXPECT_FALSE(gtk_widget_get_sensitive(widget("_cboxShowFrequency")));
  EXPECT_FALSE(gtk_widget_get_sensitive(widget("_cwellTextColor")));
  gtk_check_button_set_active(GTK_CHECK_BUTTON(widget("_cboxFitToScreenSize")), TRUE);
  EXPECT_TRUE(view->settings().isFitToScreenSize);
  gtk_range_set_value(GTK_RANGE(widget("_sliderFigureSize")), 0.5);
  EXPECT_EQ(view->settings().figureSize, 0.5);
  EXPECT_STREQ(gtk_widget_get_tooltip_text(widget("_sliderFigureSize")), "0.50");
}

TEST_F(GtkSheetTest, TheBackgroundWellOpensTheLoadersChooserWithoutOpacity) {
  ASSERT_TRUE(sheet->configureSheet().ok());
  GtkColorWellFace* back = loader.wellFaceOf(*sheet, "_cwellBackColor");
  GtkColorWellFace* line = loader.wellFaceOf(*sheet, "_cwellLineColor");
  ASSERT_TRUE(back && line);
  back->click();
  ColorChooserDialog& chooser = loader.colorChooser();
  ASSERT_TRUE(chooser.isOpen());
  EXPECT_FALSE(colorPanel.showsAlpha());
  EXPECT_FALSE(chooser.offersOpacity());
  chooser.answer(Color{0, 0, 1, 0.5});
  EXPECT_FALSE(chooser.isOpen());
  EXPECT_EQ(back->well().color(), (Color{0, 0, 1, 1}));  // kept opaque
  EXPECT_TRUE(colorPanel.showsAlpha());
  const Color lineBefore = line->well().color();
  line->click();
  EXPECT_TRUE(chooser.offersOpacity());
  chooser.answer(std::nullopt);
  EXPECT_EQ(line->well().color(), lineBefore);  // cancelled: unchanged
  EXPECT_EQ(view->settings().backColor, Color::black());  // only OK takes it into the view
}

TEST_F(GtkSheetTest, OkWritesTheStoreThatANewRenderReads) {
  ASSERT_TRUE(sheet->configureSheet().ok());
  gtk_editable_set_text(entry("_textFrequencyX1"), "250");
  gtk_editable_set_text(entry("_textLineWidth"), "3.5");
  g_signal_emit_by_name(widget(sheet_outlets::kOkButton), "clicked");
  ASSERT_EQ(host.ended.size(), 1u);
  EXPECT_TRUE(host.errors.empty());

  FILE* p = popen((std::string(ORBELUNE_BINARY) + " render --frames 1 --ops -").c_str(), "r");
  char buf[1 << 16];
  std::string out;
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ASSERT_EQ(WEXITSTATUS(pclose(p)), 0);
  auto start = nlohmann::json::parse(out.substr(0, out.find('\n')));
  EXPECT_EQ(start["samplingRate"], 25000.0);
  auto draw = nlohmann::json::parse(out.substr(out.find('\n') + 1));
  EXPECT_EQ(draw["ops"][1]["width"], 3.5);
}

TEST_F(GtkSheetTest, ATruncatedInterfaceFileOrOneWithoutOkIsRefused) {
  std::ifstream in(std::string(ORBELUNE_SOURCE_DIR) + "/resources/ConfigureSheet.ui");
  const std::string full((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t window = full.find("<object class=\"GtkWindow\"");
  const std::size_t windowEnd = full.find('>', window) + 1;
  const std::size_t ok = full.find("<object class=\"GtkButton\" id=\"okButton\"");
  const std::string okSignal = "<signal name=\"clicked\" handler=\"clickOK:\"/>";
  const std::size_t signal = full.find(okSignal);
  ASSERT_NE(window, std::string::npos);
  ASSERT_NE(ok, std::string::npos);
  ASSERT_NE(signal, std::string::npos);
  const std::size_t okChild = full.rfind("<child>", ok), okChildEnd = full.find("</child>", ok) + 8;

  auto dir = configHome() / "data";
  std::filesystem::create_directories(dir);
  setenv("ORBELUNE_DATA_DIR", dir.c_str(), 1);
  auto refused = [&](const std::string& text, const std::string& what) {
    std::ofstream(dir / "ConfigureSheet.ui", std::ios::trunc) << text;
    auto r = sheet->configureSheet();
    EXPECT_FALSE(r.ok()) << what;
    EXPECT_TRUE(loader.connectedOutlets(*sheet).empty()) << what;
  };
  // Cut anywhere from the window's start tag to the OK button's signal: a
  // window with some controls, or all of them and no way to end it.
  for (std::size_t cut : {windowEnd, windowEnd + 1, full.size() / 4, full.size() / 2, ok, signal}) {
    refused(full.substr(0, cut), "cut at " + std::to_string(cut));
  }
  std::string withoutOk = full;
  withoutOk.erase(okChild, okChildEnd - okChild);
  refused(withoutOk, "without the OK button");
  std::string silentOk = full;
  silentOk.erase(signal, okSignal.size());
  ASSERT_EQ(silentOk.find("clickOK:"), std::string::npos);
  refused(silentOk, "with an OK button that sends nothing");
  std::string noField = full;
  noField.replace(noField.find("id=\"_textLineWidth\""), 19, "id=\"_textLineWidtX\"");
  refused(noField, "without the line width field");

  std::ofstream(dir / "ConfigureSheet.ui", std::ios::trunc) << full;  // the whole file still loads
  auto whole = sheet->configureSheet();
  ASSERT_TRUE(whole.ok()) << whole.error().message;
  unsetenv("ORBELUNE_DATA_DIR");
}

TEST_F(GtkSheetTest, ABrokenInterfaceFileGivesNoPanelAndSaysWhy) {
  auto dir = configHome() / "data";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "ConfigureSheet.ui") << "<interface><object class=\"NoSuchClass\" id=\"x\"/></interface>";
  setenv("ORBELUNE_DATA_DIR", dir.c_str(), 1);
  auto broken = sheet->configureSheet();
  ASSERT_FALSE(broken.ok());
  EXPECT_NE(broken.error().message.find("ConfigureSheet.ui"), std::string::npos) << broken.error().message;
  // Controls without a window: nothing of the failed load may stay with the view.
  std::ofstream(dir / "ConfigureSheet.ui") << "<interface><object class=\"GtkEntry\" id=\"_textFrequencyX1\"/></interface>";
  auto windowless = sheet->configureSheet();
  ASSERT_FALSE(windowless.ok());
  EXPECT_NE(windowless.error().message.find("no window"), std::string::npos) << windowless.error().message;
  EXPECT_FALSE(sheet->configureSheet().ok());  // fills no freed control
  EXPECT_TRUE(loader.connectedOutlets(*sheet).empty());
  unsetenv("ORBELUNE_DATA_DIR");
  EXPECT_TRUE(sheet->configureSheet().ok());  // the next call loads again
}

}  // namespace
}  // namespace orbelune

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!gtk_init_check()) {
    std::fprintf(stderr, "no display: run under xvfb-run\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
