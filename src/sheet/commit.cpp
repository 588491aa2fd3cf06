// OK: the wells' colours into the view, the settings changed in the sheet into
// the store, end the sheet.
#include "sheet/sheet_controller.h"
#include "store/screen_saver_defaults.h"
#include "settings/setting_table.h"
#include "view/orbelune_view.h"

namespace orbelune {

void SheetController::clickOK(Control* sender) {
  (void)sender;
  Settings s = view_.settings();
  // A colour whose well the file lacks goes back to its built-in colour.
  for (const auto& d : settingTable()) {
    if (auto m = d.member<ColorField>()) s.*m = std::nullopt;
  }
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    const SettingDescriptor* d = settingOf(i);
    auto m = d ? d->member<ColorField>() : nullptr;
    if (m && controls_[i]) s.*m = static_cast<ColorWell*>(controls_[i])->color();
  }
  view_.applySettings(s);

  // Only what the user changed here is written: a setting another program
  // stored while the sheet was open keeps that program's value. (A sheet never
  // filled has nothing to compare with, and writes every setting.)
  // Should the settings not be saved, the live state stays, the old file is
  // intact, and the user is told.
  std::string failure;
  if (!store_) {
    failure = "The settings could not be saved: there is no settings folder (neither XDG_CONFIG_HOME nor HOME "
              "is set, and the user has no home folder).";
  } else if (auto written = filled_ ? writeChangedSettings(*store_, s, *filled_) : writeSettings(*store_, s);
             !written) {
    failure = "The settings could not be saved to " + store_->file().string() + ": " + written.error().message;
  }
  SheetHost* host = context_.host;
  if (host && !failure.empty()) host->presentError(failure);
  if (host) host->endSheet(panel_);
}

}  // namespace orbelune
