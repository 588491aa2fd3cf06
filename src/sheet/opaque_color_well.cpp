#include "sheet/opaque_color_well.h"

#include "sheet/sheet_outlets.h"
#include "contracts/color_panel.h"

namespace orbelune {

void MyNoneAlphaColorWell::activate(bool exclusive) {
  ColorPanel::shared().setShowsAlpha(false);
  ColorWell::activate(exclusive);
}

void MyNoneAlphaColorWell::deactivate() {
  ColorWell::deactivate();
  ColorPanel::shared().setShowsAlpha(true);
}

void MyNoneAlphaColorWell::registerClass() {
  ColorWell::registerClass(sheet_outlets::kOpaqueWellClass, [] { return std::make_unique<MyNoneAlphaColorWell>(); });
}

}  // namespace orbelune
