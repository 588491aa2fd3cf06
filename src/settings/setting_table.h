#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <variant>

#include "contracts/color.h"
#include "settings/settings.h"

namespace orbelune {

// Where a setting's value lives in the settings value; its type is the
// setting's kind, in the order of SettingKind.
using SettingField =
    std::variant<std::int64_t Settings::*, double Settings::*, bool Settings::*, ColorField Settings::*>;
enum class SettingKind { Choice, Real, Boolean, Color };

// What a setting is to a figure (a preset, a surprise figure, the next figure
// of a shuffle), read by the presets, the flags and the view's change of figure.
enum class FigureRole {
  Kept,   // the user's own, kept whatever the figure: colours, the status line, how often to shuffle
  Shape,  // what every figure sets: the sweep, the frequencies and the phases
  Look,   // what a figure sets where it helps (size, line width, fit), and a change of figure takes along
};

inline constexpr double kUnbounded = std::numeric_limits<double>::quiet_NaN();

// The end labels of a number XScreenSaver's dialog shows as a slider; a number
// without them is a spin button.
struct SliderLabels {
  const char* low = nullptr;
  const char* high = nullptr;
};

// One setting, described once. Everything that names a setting follows this
// table: the built-in values, the store's registration, loading and writing
// (in table order, each with its stored type), the command-line flags and
// --help, the sheet's bounds, which settings make a figure, and the
// XScreenSaver description and man page, which a test holds to it.
//
// A setting stored in the same file that the figure does not read (the idle
// watcher's minutes) is a row too, with its key, built-in value, bounds, label
// and unit; no Settings value holds it, so its field is a null member of its
// kind, and settingTable() leaves it out.
struct SettingDescriptor {
  const char* key;             // the store key; for colours the keyed-format key
  const char* legacyKey = "";  // colours: the legacy-format key
  SettingField field;
  FigureRole figure = FigureRole::Kept;
  double builtIn = 0.0;        // choices, reals, booleans (0 or 1)
  Color builtInColor{};        // colours
  double low = kUnbounded;     // inclusive bounds of the sheet's field and the flag
  double high = kUnbounded;
  // Reals: the range a stored value is brought into when it is loaded, the
  // nearest end standing in for a value beyond it. It is where the figure's
  // computations keep their meaning (finite sums, a sweep clock that folds,
  // points a drawing backend can place, a status line of a few digits);
  // unbounded, a value is taken as stored.
  double loadLow = kUnbounded;
  double loadHigh = kUnbounded;
  // Reals that are off at 0 (the shuffle's minutes): the least value that is on.
  // Above 0 and below it is refused by the flag, raised to it by the sheet and
  // by loading.
  double lowestOn = kUnbounded;
  const char* flag;            // "sweep-time", written --sweep-time or -sweep-time
  const char* negation = "";   // booleans: the flag that turns it off
  const char* label;           // what the flag and the dialog call it
  const char* unit = "";       // "Hz", "seconds", ...

  // Choices: the dialog's name of each value, and what the values mean in
  // --help and, at more length, in the man page.
  std::span<const char* const> choiceNames = {};
  const char* choiceHelp = "";
  const char* choiceManual = "";
  // Numbers in XScreenSaver's dialog: a slider with these end labels, or a spin
  // button; the range the dialog offers when it is not the bounds (the phases:
  // one turn either way); shown beside the next row.
  SliderLabels slider = {};
  double dialogLow = kUnbounded;
  double dialogHigh = kUnbounded;
  bool besideNext = false;

  SettingKind kind() const { return static_cast<SettingKind>(field.index()); }
  // The member of type T the value lives in, or nullptr when it is of another kind.
  template <class T>
  T Settings::*member() const {
    auto m = std::get_if<T Settings::*>(&field);
    return m ? *m : nullptr;
  }
  bool bounded() const { return !std::isnan(low); }
  // The range XScreenSaver's dialog offers.
  double dialogMinimum() const { return std::isnan(dialogLow) ? low : dialogLow; }
  double dialogMaximum() const { return std::isnan(dialogHigh) ? high : dialogHigh; }
  bool mendedAtLoad() const { return !std::isnan(loadLow) || !std::isnan(lowestOn); }
  // Whether `v` lies above 0 and below the least value that is on.
  bool belowLowestOn(double v) const { return v > 0.0 && v < lowestOn; }
  // A stored value as loading takes it: within the load range.
  double mendStored(double v) const {
    if (belowLowestOn(v)) return lowestOn;
    if (std::isnan(loadLow)) return v;
    if (v < loadLow) return loadLow;
    if (v > loadHigh) return loadHigh;
    return v;
  }
  // The value bounded as the sheet's fields bound it while they are typed.
  double clamp(double v) const {
    if (belowLowestOn(v)) return lowestOn;
    if (!bounded()) return v;
    if (v < low) return low;
    if (v > high) return high;
    return v;
  }
};

// Calls the one of `visitor`'s overloads that takes the setting's member
// pointer: one case per kind, std::int64_t, double, bool or ColorField.
template <class... Cases>
struct overloaded : Cases... {
  using Cases::operator()...;
};
template <class... Cases>
overloaded(Cases...) -> overloaded<Cases...>;

template <class Visitor>
decltype(auto) visit(const SettingDescriptor& d, Visitor&& visitor) {
  return std::visit(std::forward<Visitor>(visitor), d.field);
}

// A choice, real or boolean set from a number (a boolean is on when it is not
// 0; a choice takes the number's whole part).
void setNumber(Settings& s, const SettingDescriptor& d, double v);

// Every setting a Settings value holds, in the store's reading and writing order.
std::span<const SettingDescriptor> settingTable();
// The setting stored under `key` (either colour key), or nullptr; also the
// rows no Settings value holds (their member is null).
const SettingDescriptor* findSetting(const char* key);

// Copies into `to` the settings of `from` that `take(descriptor)` accepts.
template <class Take>
void copySettings(const Settings& from, Settings& to, Take take) {
  for (const auto& d : settingTable()) {
    if (take(d)) visit(d, [&](auto m) { to.*m = from.*m; });
  }
}

inline constexpr const char* kSweepMethodNames[] = {"No sweep", "Linear sweep", "Logarithmic sweep"};

}  // namespace orbelune
