#pragma once
// How long the session is idle before the watcher shows the figure: one key,
// one default and one range for the store, the watcher's --after and the
// settings app's minutes.
#include <optional>

#include "store/screen_saver_defaults.h"

namespace orbelune {

struct StartAfter {
  // The store key under which the settings app keeps the minutes.
  static constexpr const char* kKey = "StartAfterMinutes";
  static constexpr double kDefaultMinutes = 10.0;
  // A second to a day; the settings app offers the whole minutes within it.
  static constexpr double kShortestSeconds = 1.0;
  static constexpr double kLongestSeconds = 24.0 * 3600.0;

  static bool takes(double seconds) { return seconds >= kShortestSeconds && seconds <= kLongestSeconds; }
  // The minutes stored (a real or a whole number), if any; in range or not.
  static std::optional<double> storedMinutes(const ScreenSaverDefaults& store);
  // The stored choice in seconds when it is within the range, else the default.
  static double secondsFrom(const ScreenSaverDefaults* store);
};

}  // namespace orbelune
