#include "settings/setting_table.h"

#include <cstring>
#include <limits>
#include <type_traits>

#include "settings/settings_keys.h"

namespace orbelune {
namespace {
using S = Settings;
constexpr FigureRole Shape = FigureRole::Shape, Look = FigureRole::Look;

// Phases repeat every turn, so XScreenSaver's dialog offers one turn either way.
constexpr double kPhaseDialogLow = -360.0, kPhaseDialogHigh = 360.0;
// Anywhere else a phase may lie a great many turns out, as long as the sums
// the figure is made of stay finite and precise: the difference of two phases,
// its share of a sweep, the phase in radians and the status line's "%.2f".
// At a million degrees the sine's argument still carries about ten decimals.
constexpr double kPhaseLow = -1e6, kPhaseHigh = 1e6;

// What loading brings a stored value into (the sheet and the flags keep to the
// narrower bounds). Beyond a million hertz either way the status line's
// frequency grows to hundreds of digits, the difference of a sweep's two
// frequencies can overflow (1e308 to -1e308 gives nothing but NaN points), and
// the fixed-frequency phase grows by far more than its one wrap a sample takes
// back; within it the line stays short and the sums finite.
constexpr double kFrequencyLoadLow = -1e6, kFrequencyLoadHigh = 1e6;
// The sweep clock folds at twice the sweep time by one subtraction a sample, so
// the sweep must last longer than half a sample step at the slowest sampling
// (100 a second); shorter, the time and the frequencies leave the sweep.
constexpr double kSweepTimeLoadLow = 0.01;
constexpr double kNoEnd = std::numeric_limits<double>::infinity();
// The figure's points and line stay within what the drawing places exactly
// (Cairo's fixed-point coordinates end near ±8 million pixels): a hundred
// times the view's side, a thousand points wide, at any display scale up to 4.
constexpr double kFigureSizeLoadLow = -100.0, kFigureSizeLoadHigh = 100.0;
constexpr double kLineWidthLoadLow = 0.0, kLineWidthLoadHigh = 1000.0;
// A figure shown for six seconds at the least: shorter would mean a new figure
// every frame or so, which is no figure at all.
constexpr double kShortestShuffle = 0.1;

// The figure size has no text field: its slider's range is the bound.
const SettingDescriptor kTable[] = {
    {.key = keys::kSweepMethod, .field = &S::sweepMethod, .figure = Shape, .builtIn = 1, .low = 0, .high = 2,
     .flag = "sweep-method", .label = "Sweep", .choiceNames = kSweepMethodNames,
     .choiceHelp = "0 no sweep, 1 linear, 2 logarithmic",
     .choiceManual = "0 no sweep, 1 linear sweep, 2 sweep with a logarithmic time warp"},
    {.key = keys::kSweepRate, .field = &S::sweepTime, .figure = Shape, .builtIn = 20.0, .low = 1.0, .high = 86400.0,
     .loadLow = kSweepTimeLoadLow, .loadHigh = kNoEnd, .flag = "sweep-time", .label = "Sweep time",
     .unit = "seconds"},
    {.key = keys::kFrequencyX1, .field = &S::frequencyX1, .figure = Shape, .builtIn = 1.0, .low = 0.1, .high = 1000.0,
     .loadLow = kFrequencyLoadLow, .loadHigh = kFrequencyLoadHigh,
     .flag = "frequency-x1", .label = "X frequency", .unit = "Hz", .besideNext = true},
    {.key = keys::kFrequencyX2, .field = &S::frequencyX2, .figure = Shape, .builtIn = 6.0, .low = 0.1, .high = 1000.0,
     .loadLow = kFrequencyLoadLow, .loadHigh = kFrequencyLoadHigh,
     .flag = "frequency-x2", .label = "X frequency at the sweep's end", .unit = "Hz"},
    {.key = keys::kFrequencyY1, .field = &S::frequencyY1, .figure = Shape, .builtIn = 6.0, .low = 0.1, .high = 1000.0,
     .loadLow = kFrequencyLoadLow, .loadHigh = kFrequencyLoadHigh,
     .flag = "frequency-y1", .label = "Y frequency", .unit = "Hz", .besideNext = true},
    {.key = keys::kFrequencyY2, .field = &S::frequencyY2, .figure = Shape, .builtIn = 6.0, .low = 0.1, .high = 1000.0,
     .loadLow = kFrequencyLoadLow, .loadHigh = kFrequencyLoadHigh,
     .flag = "frequency-y2", .label = "Y frequency at the sweep's end", .unit = "Hz"},
    {.key = keys::kInitialPhaseX, .field = &S::initialPhaseX, .figure = Shape, .builtIn = 90.0,
     .low = kPhaseLow, .high = kPhaseHigh, .loadLow = kPhaseLow, .loadHigh = kPhaseHigh,
     .flag = "phase-x1", .label = "X initial phase", .unit = "degrees", .dialogLow = kPhaseDialogLow,
     .dialogHigh = kPhaseDialogHigh, .besideNext = true},
    {.key = keys::kInitialPhaseX2, .field = &S::initialPhaseX2, .figure = Shape, .builtIn = 90.0,
     .low = kPhaseLow, .high = kPhaseHigh, .loadLow = kPhaseLow, .loadHigh = kPhaseHigh,
     .flag = "phase-x2", .label = "X phase at the sweep's end", .unit = "degrees", .dialogLow = kPhaseDialogLow,
     .dialogHigh = kPhaseDialogHigh},
    {.key = keys::kInitialPhaseY, .field = &S::initialPhaseY, .figure = Shape, .builtIn = 90.0,
     .low = kPhaseLow, .high = kPhaseHigh, .loadLow = kPhaseLow, .loadHigh = kPhaseHigh,
     .flag = "phase-y1", .label = "Y initial phase", .unit = "degrees", .dialogLow = kPhaseDialogLow,
     .dialogHigh = kPhaseDialogHigh, .besideNext = true},
    {.key = keys::kInitialPhaseY2, .field = &S::initialPhaseY2, .figure = Shape, .builtIn = 90.0,
     .low = kPhaseLow, .high = kPhaseHigh, .loadLow = kPhaseLow, .loadHigh = kPhaseHigh,
     .flag = "phase-y2", .label = "Y phase at the sweep's end", .unit = "degrees", .dialogLow = kPhaseDialogLow,
     .dialogHigh = kPhaseDialogHigh},
    {.key = keys::kFigureSize, .field = &S::figureSize, .figure = Look, .builtIn = 0.8, .low = 0.1, .high = 1.0,
     .loadLow = kFigureSizeLoadLow, .loadHigh = kFigureSizeLoadHigh,
     .flag = "figure-size", .label = "Figure size", .slider = {.low = "Small", .high = "Large"}},
    {.key = keys::kLineWidth, .field = &S::lineWidth, .figure = Look, .builtIn = 2.0, .low = 1.0, .high = 10.0,
     .loadLow = kLineWidthLoadLow, .loadHigh = kLineWidthLoadHigh,
     .flag = "line-width", .label = "Line width", .unit = "points", .slider = {.low = "Thin", .high = "Thick"}},
    {.key = keys::kFitToScreenSize, .field = &S::isFitToScreenSize, .figure = Look, .builtIn = 0, .flag = "fit",
     .negation = "no-fit", .label = "Fit to screen size"},
    {.key = keys::kShowCurrentValue, .field = &S::isShowCurrentValue, .builtIn = 1, .flag = "status",
     .negation = "no-status", .label = "Show the current values"},
    {.key = keys::kShowFrequency, .field = &S::isShowFrequency, .builtIn = 1, .flag = "show-frequencies",
     .negation = "no-show-frequencies", .label = "Show the frequencies"},
    {.key = keys::kShowInitialPhase, .field = &S::isShowInitialPhase, .builtIn = 0, .flag = "show-phases",
     .negation = "no-show-phases", .label = "Show the phases"},
    {.key = keys::kShuffleMinutes, .field = &S::shuffleMinutes, .builtIn = 0.0, .low = 0.0, .high = 1440.0,
     .lowestOn = kShortestShuffle, .flag = "shuffle", .label = "Change the figure every", .unit = "minutes"},
    {.key = keys::kKeyedLineColor, .legacyKey = keys::kLineColor, .field = &S::lineColor,
     .builtInColor = Color::yellow(), .flag = "line-color", .label = "Line colour"},
    {.key = keys::kKeyedTextColor, .legacyKey = keys::kTextColor, .field = &S::textColor,
     .builtInColor = Color::white(), .flag = "text-color", .label = "Text colour"},
    {.key = keys::kKeyedBackColor, .legacyKey = keys::kBackColor, .field = &S::backColor,
     .builtInColor = Color::black(), .flag = "background-color", .label = "Background colour"},
};

// A second, in minutes: the shortest idle time the watcher waits for.
constexpr double kOneSecond = 1.0 / 60.0;

// Stored in the same file, read by the idle watcher and the settings app, never
// by the figure; the watcher takes the built-in value for a stored one beyond
// the bounds, and the settings app offers the whole minutes within them.
const SettingDescriptor kOutsideSettings[] = {
    {.key = keys::kStartAfterMinutes, .field = static_cast<double S::*>(nullptr), .builtIn = 10.0,
     .low = kOneSecond, .high = 1440.0, .flag = "", .label = "Start the saver after", .unit = "minutes"},
    {.key = keys::kLockAfterMinutes, .field = static_cast<double S::*>(nullptr), .builtIn = 0.0, .low = 0.0,
     .high = 1440.0, .lowestOn = kOneSecond, .flag = "", .label = "Lock the screen", .unit = "minutes"},
};

bool storedUnder(const SettingDescriptor& d, const char* key) {
  return std::strcmp(d.key, key) == 0 || (*d.legacyKey && std::strcmp(d.legacyKey, key) == 0);
}
}  // namespace

std::span<const SettingDescriptor> settingTable() { return kTable; }

const SettingDescriptor* findSetting(const char* key) {
  for (const auto& d : kTable) {
    if (storedUnder(d, key)) return &d;
  }
  for (const auto& d : kOutsideSettings) {
    if (storedUnder(d, key)) return &d;
  }
  return nullptr;
}

void setNumber(Settings& s, const SettingDescriptor& d, double v) {
  visit(d, overloaded{
               [&](ColorField Settings::*) {},
               [&](auto m) { s.*m = static_cast<std::remove_reference_t<decltype(s.*m)>>(v); },
           });
}

Settings::Settings() {
  for (const auto& d : kTable) {
    visit(d, overloaded{
                 [&](ColorField Settings::*m) { this->*m = d.builtInColor; },
                 [&](auto) { setNumber(*this, d, d.builtIn); },
             });
  }
}

}  // namespace orbelune
