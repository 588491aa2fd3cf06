#pragma once
// How long the session is idle before the watcher shows the figure: the
// settings table's StartAfterMinutes row (key, built-in minutes, bounds), as
// the store, the watcher's --after and the settings app's minutes take it.
#include <optional>

#include "settings/setting_table.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {

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

}  // namespace orbelune
