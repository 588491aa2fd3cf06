#include "contracts/color_panel.h"

namespace orbelune {

ColorPanel& ColorPanel::shared() {
  static ColorPanel panel;
  return panel;
}

void ColorPanel::setShowsAlpha(bool shows) {
  showsAlpha_ = shows;
  if (listener_) listener_(shows);
}

}  // namespace orbelune
