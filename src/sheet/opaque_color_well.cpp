#include "sheet/opaque_color_well.h"

#include "sheet/sheet_outlets.h"
#include "contracts/color_panel.h"

namespace orbelune {

void MyNoneAlphaColorWell::activate(bool exclusive) {
  if (ColorPanel* p = panel()) p->setShowsAlpha(false);
  ColorWell::activate(exclusive);
}

void MyNoneAlphaColorWell::deactivate() {
  ColorWell::deactivate();
  if (ColorPanel* p = panel()) p->setShowsAlpha(true);
}

void MyNoneAlphaColorWell::registerClass(InterfaceLoader& loader) {
  loader.wellClasses().add(sheet_outlets::kOpaqueWellClass, [] { return std::make_unique<MyNoneAlphaColorWell>(); });
}

}  // namespace orbelune
