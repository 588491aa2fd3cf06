#include "contracts/color_panel.h"

namespace orbelune {

void ColorPanel::setShowsAlpha(bool shows) {
  showsAlpha_ = shows;
  if (listener_) listener_(shows);
}

}  // namespace orbelune
