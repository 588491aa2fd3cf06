#pragma once
// The idle watcher's own minutes, rows of the settings table that no Settings
// value holds: how long the session is idle before the watcher shows the
// figure (StartAfterMinutes), and how long after that the session locks
// (LockAfterMinutes, 0: never), as the store, the watcher's --after and
// --lock-after and the settings app's minutes take them.
#include <optional>

#include "settings/setting_table.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {

// The minutes stored under `row`'s key (a real or a whole number), if any; in range or not.
std::optional<double> storedMinutes(const SettingDescriptor& row, const ScreenSaverDefaults& store);

struct StartAfter {
  // The row: minutes, from a second to a day.
  static const SettingDescriptor& setting();
  // Whether an idle time of `seconds` lies within the row's bounds.
  static bool takes(double seconds);
  // The minutes stored (a real or a whole number), if any; in range or not.
  static std::optional<double> storedMinutes(const ScreenSaverDefaults& store);
  // The stored choice in seconds when it is within the range, else the built-in value.
  static double secondsFrom(const ScreenSaverDefaults* store);
};

struct LockAfter {
  // The row: 0 (never), else minutes from a second to a day.
  static const SettingDescriptor& setting();
  // The minutes the settings app offers while its switch is off.
  static constexpr double kOfferedMinutes = 5.0;
  // The stored choice in seconds, 0 (never) when none is stored or it lies
  // beyond the range; a choice below a second is a second.
  static double secondsFrom(const ScreenSaverDefaults* store);
};

}  // namespace orbelune
