// Live editing of the sheet's number fields: every keystroke stores the number,
// bounded as the settings table bounds it, into the view's settings; the end of
// editing shows the value the view took.
#include <cmath>

#include "sheet/sheet_controller.h"
#include "settings/setting_table.h"
#include "view/orbelune_view.h"

namespace orbelune {

void SheetController::controlTextDidChange(Control* sender) {
  const std::size_t i = outletOf(sender);
  const SettingDescriptor* setting = settingOf(i);
  if (!setting || sheet_outlets::kOutlets[i].kind != sheet_outlets::Kind::Field) return;
  // A number too large for a double reads as infinity and is bounded to the
  // field's nearer bound; a field without bounds keeps its value until the text
  // is a finite number again.
  const double typed = setting->clamp(static_cast<TextField*>(sender)->doubleValue());
  if (!std::isfinite(typed)) return;
  Settings s = view_.settings();
  s.*setting->member<double>() = typed;
  view_.applySettings(s);
}

void SheetController::controlTextDidEndEditing(Control* sender) {
  const std::size_t i = outletOf(sender);
  const SettingDescriptor* setting = settingOf(i);
  if (!setting || sheet_outlets::kOutlets[i].kind != sheet_outlets::Kind::Field) return;
  static_cast<TextField*>(sender)->setDoubleValue(view_.settings().*setting->member<double>());
}

}  // namespace orbelune
