#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "sheet/sheet_outlets.h"
#include "base/result.h"
#include "contracts/controls.h"
#include "settings/settings.h"

namespace orbelune {

class ColorPanel;
class OrbeluneView;
class ScreenSaverDefaults;
struct SettingDescriptor;

// What a host hands each sheet it shows. Any of them may be missing: without a
// loader nothing loads, without a sheet host the sheet ends unseen and errors
// go untold, without system colours labels take black and grey, and without a
// colour panel no well is ever active. The host owns them all; they must
// outlive the sheet.
struct SheetContext {
  InterfaceLoader* loader = nullptr;
  SheetHost* host = nullptr;
  SystemColors* colors = nullptr;
  ColorPanel* colorPanel = nullptr;
};

// The configuration sheet of one view: it loads the interface file, owns its
// outlets, fills them from the view's settings and turns each edit into a
// changed copy of those settings that acts on the view at once. OK stores the
// settings the user changed since the sheet was filled in the store the host
// handed (nullptr: there is nowhere to save, and OK says so), leaving what other
// programs stored meanwhile, and ends the sheet. The view must outlive its sheet.
class SheetController : public InterfaceOwner {
 public:
  SheetController(OrbeluneView& view, const SheetContext& context, std::shared_ptr<ScreenSaverDefaults> store);
  ~SheetController() override;
  SheetController(const SheetController&) = delete;
  SheetController& operator=(const SheetController&) = delete;

  // Loads the interface file on first use (and again after a failed load) and
  // fills every control from the view; an error saying why when there is no panel.
  Result<Panel*> configureSheet();

  // The actions the interface file names, and the fields' delegate notifications.
  void handlingMenu(Control* sender);
  void handlingSlider(Control* sender);
  void handlingCheckBox(Control* sender);
  void validateConfig();
  void controlTextDidChange(Control* field);
  void controlTextDidEndEditing(Control* field);
  void clickOK(Control* sender);
  // The gallery's menu and "Surprise me": a whole new figure at once.
  void handlingPreset(Control* sender);
  void clickSurprise(Control* sender);
  // Tests: "Surprise me" draws from this seed on (each click the next one).
  void setSurpriseSeedForTesting(std::uint64_t seed) { seed_ = seed; }

  bool setOutlet(const std::string& name, Control* control) override;
  bool setPanelOutlet(const std::string& name, Panel* panel) override;
  bool performAction(const std::string& action, Control* sender) override;
  void actionConnected(const std::string& action) override;

 private:
  // Shows `s` in every control that shows a setting; in the colour wells too
  // only when the sheet opens.
  void fillControls(const Settings& s, bool withWells);
  PopUpButton* presetMenu() const;
  void showWholeFigure(const Settings& figure);
  // What a loaded file lacks that the sheet needs: its window, any outlet, the
  // OK action; nullopt when it has them all.
  std::optional<std::string> missingPart() const;
  static constexpr std::size_t kOutletCount = std::size(sheet_outlets::kOutlets);
  // The outlet `control` fills, or kOutletCount when it fills none.
  std::size_t outletOf(const Control* control) const;
  // The setting the control at outlet `i` shows, or nullptr.
  static const SettingDescriptor* settingOf(std::size_t i);

  OrbeluneView& view_;
  SheetContext context_;
  std::shared_ptr<ScreenSaverDefaults> store_;
  Panel* panel_ = nullptr;
  std::array<Control*, kOutletCount> controls_{};  // in the order of sheet_outlets::kOutlets
  InterfaceLoader* loader_ = nullptr;               // the loader holding the sheet's objects
  // The settings as the sheet was filled with them, the wells' colours as they
  // were shown: OK writes what differs from them.
  std::optional<Settings> filled_;
  bool okConnected_ = false;           // a control of the file sends clickOK:
  std::optional<std::uint64_t> seed_;  // tests only; else each surprise is new
};

}  // namespace orbelune
