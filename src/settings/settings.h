#pragma once
#include <cstdint>

#include "contracts/color.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {

// Every stored setting, as one value. A default-made Settings holds the
// built-in values of the settings table (settings/setting_table.h).
struct Settings {
  Settings();

  double figureSize;
  double lineWidth;
  bool isFitToScreenSize;
  bool isShowCurrentValue;
  bool isShowFrequency;
  bool isShowInitialPhase;
  ColorField lineColor;
  ColorField textColor;
  ColorField backColor;

  std::int64_t sweepMethod;
  double sweepTime;
  double frequencyX1;
  double frequencyX2;
  double frequencyY1;
  double frequencyY2;
  double initialPhaseX;
  double initialPhaseX2;
  double initialPhaseY;
  double initialPhaseY2;
};

// The lowest sweep time a stored value is raised to: every sweep formula divides
// by it, so zero or less cannot stand.
inline constexpr double kMinimumSweepTime = 1.0;

// Registers the defaults, migrates legacy colours and reads every key into
// `settings`, whose appearance fields hold the built-in values on entry.
void loadSettings(ScreenSaverDefaults& store, Settings& settings);

// Writes the sixteen plain keys and the three colours of the running system's
// archive format, then synchronizes. Returns synchronize's result.
Result<void> writeSettings(ScreenSaverDefaults& store, const Settings& settings);

}  // namespace orbelune
