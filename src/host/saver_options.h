#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orbelune {

class OrbeluneView;

// The settings a command line may set for one run, as XScreenSaver keeps a hack's
// settings. One table: the flag parser, the XScreenSaver description
// (orbelune.xml) and the man page follow it, and a test holds them to it.
struct SaverOption {
  enum class Kind { Select, Number, Boolean };
  const char* flag;        // "-sweep-time" (also accepted as "--sweep-time")
  const char* negation;    // booleans: the flag that turns it off ("-no-fit"), else ""
  Kind kind;
  const char* key;         // the settings key it overrides for the run
  double low, high;        // numbers: the sheet's bounds; selects: the first and last value
  double defaultValue;     // the registered default
  const char* label;
};

inline constexpr SaverOption kSaverOptions[] = {
    {"-sweep-method", "", SaverOption::Kind::Select, "SweepMethod", 0, 2, 1, "Sweep"},
    {"-sweep-time", "", SaverOption::Kind::Number, "SweepRate", 1.0, 86400.0, 20.0, "Sweep time (seconds)"},
    {"-frequency-x1", "", SaverOption::Kind::Number, "FrequencyX1", 0.1, 1000.0, 1.0, "X frequency (Hz)"},
    {"-frequency-x2", "", SaverOption::Kind::Number, "FrequencyX2", 0.1, 1000.0, 6.0, "X frequency at the sweep's end (Hz)"},
    {"-frequency-y1", "", SaverOption::Kind::Number, "FrequencyY1", 0.1, 1000.0, 6.0, "Y frequency (Hz)"},
    {"-frequency-y2", "", SaverOption::Kind::Number, "FrequencyY2", 0.1, 1000.0, 6.0, "Y frequency at the sweep's end (Hz)"},
    {"-figure-size", "", SaverOption::Kind::Number, "FigureSize", 0.1, 1.0, 0.8, "Figure size"},
    {"-line-width", "", SaverOption::Kind::Number, "LineWidth", 1.0, 10.0, 2.0, "Line width (points)"},
    {"-fit", "-no-fit", SaverOption::Kind::Boolean, "FitToScreenSize", 0, 1, 0, "Fit to screen size"},
    {"-status", "-no-status", SaverOption::Kind::Boolean, "ShowCurrentValue", 0, 1, 1, "Show the current values"},
};

inline constexpr const char* kSweepMethodNames[] = {"No sweep", "Linear sweep", "Logarithmic sweep"};

// Values given on the command line, by settings key.
struct SaverOverrides {
  std::vector<std::pair<std::string, double>> values;
  bool empty() const { return values.empty(); }
};

// Takes the option at args[i] (and its value) if it is one; advances i past what
// it took. Throws cli::UsageError for a bad value. False when args[i] is no option.
bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out);

// A bound or default as the help, the XML and the man page write it: "0.1", "86400".
std::string describeNumber(double v);

// Applies the overrides to a view just created (after it loaded the store); they
// act for this run only and are never written.
void applySaverOverrides(const SaverOverrides& overrides, OrbeluneView& view);

}  // namespace orbelune
