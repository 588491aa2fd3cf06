#include "settings/setting_table.h"

#include <cstring>
#include <limits>

#include "settings/settings_keys.h"

namespace orbelune {
namespace {
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
using K = SettingKind;
using S = Settings;

// The figure size has no text field: its slider's range is the bound.
const SettingDescriptor kTable[] = {
    {keys::kSweepMethod, "", K::Choice, 1, {}, 0, 2, "sweep-method", "", "Sweep", "", &S::sweepMethod},
    {keys::kSweepRate, "", K::Real, 20.0, {}, 1.0, 86400.0, "sweep-time", "", "Sweep time", "seconds", nullptr,
     &S::sweepTime},
    {keys::kFrequencyX1, "", K::Real, 1.0, {}, 0.1, 1000.0, "frequency-x1", "", "X frequency", "Hz", nullptr,
     &S::frequencyX1},
    {keys::kFrequencyX2, "", K::Real, 6.0, {}, 0.1, 1000.0, "frequency-x2", "", "X frequency at the sweep's end", "Hz",
     nullptr, &S::frequencyX2},
    {keys::kFrequencyY1, "", K::Real, 6.0, {}, 0.1, 1000.0, "frequency-y1", "", "Y frequency", "Hz", nullptr,
     &S::frequencyY1},
    {keys::kFrequencyY2, "", K::Real, 6.0, {}, 0.1, 1000.0, "frequency-y2", "", "Y frequency at the sweep's end", "Hz",
     nullptr, &S::frequencyY2},
    {keys::kInitialPhaseX, "", K::Real, 90.0, {}, kNone, kNone, "phase-x1", "", "X initial phase", "degrees", nullptr,
     &S::initialPhaseX},
    {keys::kInitialPhaseX2, "", K::Real, 90.0, {}, kNone, kNone, "phase-x2", "", "X phase at the sweep's end",
     "degrees", nullptr, &S::initialPhaseX2},
    {keys::kInitialPhaseY, "", K::Real, 90.0, {}, kNone, kNone, "phase-y1", "", "Y initial phase", "degrees", nullptr,
     &S::initialPhaseY},
    {keys::kInitialPhaseY2, "", K::Real, 90.0, {}, kNone, kNone, "phase-y2", "", "Y phase at the sweep's end",
     "degrees", nullptr, &S::initialPhaseY2},
    {keys::kFigureSize, "", K::Real, 0.8, {}, 0.1, 1.0, "figure-size", "", "Figure size", "", nullptr, &S::figureSize},
    {keys::kLineWidth, "", K::Real, 2.0, {}, 1.0, 10.0, "line-width", "", "Line width", "points", nullptr,
     &S::lineWidth},
    {keys::kFitToScreenSize, "", K::Boolean, 0, {}, kNone, kNone, "fit", "no-fit", "Fit to screen size", "", nullptr,
     nullptr, &S::isFitToScreenSize},
    {keys::kShowCurrentValue, "", K::Boolean, 1, {}, kNone, kNone, "status", "no-status", "Show the current values", "",
     nullptr, nullptr, &S::isShowCurrentValue},
    {keys::kShowFrequency, "", K::Boolean, 1, {}, kNone, kNone, "show-frequencies", "no-show-frequencies",
     "Show the frequencies", "", nullptr, nullptr, &S::isShowFrequency},
    {keys::kShowInitialPhase, "", K::Boolean, 0, {}, kNone, kNone, "show-phases", "no-show-phases", "Show the phases",
     "", nullptr, nullptr, &S::isShowInitialPhase},
    {keys::kKeyedLineColor, keys::kLineColor, K::Color, 0, Color::yellow(), kNone, kNone, "line-color", "",
     "Line colour", "", nullptr, nullptr, nullptr, &S::lineColor},
    {keys::kKeyedTextColor, keys::kTextColor, K::Color, 0, Color::white(), kNone, kNone, "text-color", "",
     "Text colour", "", nullptr, nullptr, nullptr, &S::textColor},
    {keys::kKeyedBackColor, keys::kBackColor, K::Color, 0, Color::black(), kNone, kNone, "background-color", "",
     "Background colour", "", nullptr, nullptr, nullptr, &S::backColor},
};
}  // namespace

std::span<const SettingDescriptor> settingTable() { return kTable; }

const SettingDescriptor* findSetting(const char* key) {
  for (const auto& d : kTable) {
    if (std::strcmp(d.key, key) == 0 || (*d.legacyKey && std::strcmp(d.legacyKey, key) == 0)) return &d;
  }
  return nullptr;
}

Settings::Settings() {
  for (const auto& d : kTable) {
    if (d.choice) this->*d.choice = static_cast<std::int64_t>(d.builtIn);
    if (d.real) this->*d.real = d.builtIn;
    if (d.boolean) this->*d.boolean = d.builtIn != 0.0;
    if (d.color) this->*d.color = d.builtInColor;
  }
}

}  // namespace orbelune
