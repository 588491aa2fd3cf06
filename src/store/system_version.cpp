#include "store/system_version.h"

namespace orbelune {
namespace {
std::optional<bool> g_override;
}

bool SystemVersion::isCurrentSystem() { return g_override.value_or(true); }

void SystemVersion::overrideForTesting(std::optional<bool> isCurrent) { g_override = isCurrent; }

}  // namespace orbelune
