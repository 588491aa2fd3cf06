// OK: the wells' colours into the view, every setting into the store, end the sheet.
#include "bundle_info.h"
#include "platform/screen_saver_defaults.h"
#include "settings/settings.h"
#include "view/orbelune_view.h"

namespace orbelune {

void OrbeluneView::clickOK(Control* sender) {
  (void)sender;
  _lineColor = _cwellLineColor ? ColorField(_cwellLineColor->color()) : std::nullopt;
  _textColor = _cwellTextColor ? ColorField(_cwellTextColor->color()) : std::nullopt;
  _backColor = _cwellBackColor ? ColorField(_cwellBackColor->color()) : std::nullopt;

  const Settings s = settings();

  auto store = ScreenSaverDefaults::defaultsForModuleWithName(kBundleIdentifier);
  if (store && !writeSettings(*store, s)) {
    // The live state stays and the old file is intact; the user must know the
    // settings were not saved.
    if (SheetHost* host = Application::shared().sheetHost()) {
      host->presentError("The settings could not be saved to " + store->file().string() + ": " +
                         store->lastError());
    }
  }
  Application::shared().endSheet(_configSheet);
}

}  // namespace orbelune
