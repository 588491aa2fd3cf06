#include "host/store_warnings.h"

namespace orbelune {

void sayStoreWarnings(ScreenSaverDefaults* store, std::ostream& err, std::string_view name) {
  if (!store) return;
  for (const auto& warning : store->takeWarnings()) err << name << ": warning: " << warning << "\n";
}

}  // namespace orbelune
