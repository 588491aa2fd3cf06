#pragma once
#include <cstdint>

#include "platform/color.h"
#include "platform/screen_saver_defaults.h"

namespace orbelune {

// Every stored setting of a view. The appearance half is the view's own fields
// (set to built-in values before loading, which then updates them); the oscillator
// half is handed on to Frequency.
struct Settings {
  double figureSize = 0.8;
  double lineWidth = 2.0;
  bool isFitToScreenSize = false;
  bool isShowCurrentValue = true;
  bool isShowFrequency = true;
  bool isShowInitialPhase = false;
  ColorField lineColor = Color::yellowColor();
  ColorField textColor = Color::whiteColor();
  ColorField backColor = Color::blackColor();

  std::int64_t sweepMethod = 1;
  double sweepRate = 20.0;
  double frequencyX1 = 1.0;
  double frequencyX2 = 6.0;
  double frequencyY1 = 6.0;
  double frequencyY2 = 6.0;
  double initialPhaseX = 90.0;
  double initialPhaseX2 = 90.0;
  double initialPhaseY = 90.0;
  double initialPhaseY2 = 90.0;
};

// The lowest sweep time a stored value is raised to: every sweep formula divides
// by it, so zero or less cannot stand.
inline constexpr double kMinimumSweepRate = 1.0;

// Registers the defaults, migrates legacy colours and reads every key into
// `settings`, whose appearance fields hold the built-in values on entry.
void loadSettings(ScreenSaverDefaults& store, Settings& settings);

// Writes the sixteen plain keys and the three colours of the running system's
// archive format, then synchronizes. Returns synchronize's result.
bool writeSettings(ScreenSaverDefaults& store, const Settings& settings);

}  // namespace orbelune
