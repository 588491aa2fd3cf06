#pragma once
#include <optional>

namespace orbelune {

// Which colour archive format the running system uses: the keyed format on a
// current system (always, on Linux), the legacy positional one on an older system.
// Tests can take the older-system path through the override.
class SystemVersion {
 public:
  static bool isCurrentSystem();
  static void overrideForTesting(std::optional<bool> isCurrent);
};

}  // namespace orbelune
