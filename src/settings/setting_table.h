#pragma once
#include <cmath>
#include <cstdint>
#include <span>

#include "contracts/color.h"
#include "settings/settings.h"

namespace orbelune {

enum class SettingKind { Choice, Real, Boolean, Color };

// One setting, described once. Everything that names a setting follows this
// table: the built-in values, the store's registration, loading and writing
// (in table order, each with its stored type), the command-line flags and
// --help, the sheet's bounds, and the XScreenSaver description and man page,
// which a test holds to it.
struct SettingDescriptor {
  const char* key;        // the store key; for colours the keyed-format key
  const char* legacyKey;  // colours: the legacy-format key; otherwise ""
  SettingKind kind;
  double builtIn;         // choices, reals, booleans (0 or 1)
  Color builtInColor;     // colours
  double low, high;       // inclusive bounds of the sheet's field and the flag; NaN: unbounded
  const char* flag;       // "sweep-time", written --sweep-time or -sweep-time
  const char* negation;   // booleans: the flag that turns it off
  const char* label;      // what the flag and the dialog call it
  const char* unit;       // "Hz", "seconds", ...; "" when none
  // Where the value lives in the settings value: exactly one is set.
  std::int64_t Settings::*choice = nullptr;
  double Settings::*real = nullptr;
  bool Settings::*boolean = nullptr;
  ColorField Settings::*color = nullptr;

  bool bounded() const { return !std::isnan(low); }
  // The value bounded as the sheet's fields bound it while they are typed.
  double clamp(double v) const {
    if (!bounded()) return v;
    if (v < low) return low;
    if (v > high) return high;
    return v;
  }
};

// Every setting, in the store's reading and writing order.
std::span<const SettingDescriptor> settingTable();
// The setting stored under `key` (either colour key), or nullptr.
const SettingDescriptor* findSetting(const char* key);

inline constexpr const char* kSweepMethodNames[] = {"No sweep", "Linear sweep", "Logarithmic sweep"};

}  // namespace orbelune
