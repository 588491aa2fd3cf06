#pragma once
#include <array>
#include <cstddef>
#include <string>

#include "sheet/sheet_outlets.h"
#include "contracts/controls.h"
#include "settings/settings.h"

namespace orbelune {

class OrbeluneView;
struct SettingDescriptor;

// The configuration sheet of one view: it loads the interface file, owns its
// outlets, fills them from the view's settings and turns each edit into a
// changed copy of those settings that acts on the view at once. OK stores the
// settings and ends the sheet. The view must outlive its sheet.
class SheetController : public InterfaceOwner {
 public:
  explicit SheetController(OrbeluneView& view) : view_(view) {}
  ~SheetController() override;
  SheetController(const SheetController&) = delete;
  SheetController& operator=(const SheetController&) = delete;

  // Loads the interface file on first use (and again after a failed load) and
  // fills every control from the view; nullptr when there is no panel.
  Panel* configureSheet();

  // The actions the interface file names, and the fields' delegate notifications.
  void handlingMenu(Control* sender);
  void handlingSlider(Control* sender);
  void handlingCheckBox(Control* sender);
  void validateConfig();
  void controlTextDidChange(Control* field);
  void controlTextDidEndEditing(Control* field);
  void clickOK(Control* sender);

  bool setOutlet(const std::string& name, Control* control) override;
  bool setPanelOutlet(const std::string& name, Panel* panel) override;
  bool performAction(const std::string& action, Control* sender) override;

 private:
  static constexpr std::size_t kOutletCount = std::size(sheet_outlets::kOutlets);
  // The outlet `control` fills, or kOutletCount when it fills none.
  std::size_t outletOf(const Control* control) const;
  // The setting the control at outlet `i` shows, or nullptr.
  static const SettingDescriptor* settingOf(std::size_t i);

  OrbeluneView& view_;
  Panel* panel_ = nullptr;
  std::array<Control*, kOutletCount> controls_{};  // in the order of sheet_outlets::kOutlets
  InterfaceLoader* loader_ = nullptr;               // the loader holding the sheet's objects
};

}  // namespace orbelune
