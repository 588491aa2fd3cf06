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

  // Minutes between two figures a session changes to on its own; 0: never.
  double shuffleMinutes;
};

// The lowest sweep time a stored value is raised to: every sweep formula divides
// by it, so zero or less cannot stand.
inline constexpr double kMinimumSweepTime = 1.0;

// Registers the defaults, migrates legacy colours and reads every key into
// `settings`, whose appearance fields hold the built-in values on entry.
void loadSettings(ScreenSaverDefaults& store, Settings& settings);

// Writes the seventeen plain keys and the three colours of the running system's
// archive format, then synchronizes. Returns synchronize's result.
Result<void> writeSettings(ScreenSaverDefaults& store, const Settings& settings);

// Writes the settings that differ from `baseline` (the values they had when
// the user began changing them), in the same keys and formats, then
// synchronizes. Every other key stays as the file holds it when written, so
// that nothing another program stored meanwhile is reverted. Into a file that
// holds none of the settings, every setting is written, so that it is complete.
Result<void> writeChangedSettings(ScreenSaverDefaults& store, const Settings& settings, const Settings& baseline);

}  // namespace orbelune
