#pragma once
#include <ostream>
#include <string_view>

#include "store/screen_saver_defaults.h"

namespace orbelune {

// Says what the store found wrong with the settings file since it was last
// asked, a line each ("orbelune: warning: ..."); no store says nothing.
void sayStoreWarnings(ScreenSaverDefaults* store, std::ostream& err, std::string_view name = "orbelune");

}  // namespace orbelune
