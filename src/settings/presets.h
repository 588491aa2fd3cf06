#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace orbelune {

struct SettingDescriptor;

// A named figure: its frequencies, phases and sweep, and where it helps its
// size and line width. Applied over settings, it sets the figure's shape (the
// settings table's figure column) and the looks it names, and leaves every
// other setting as it is.
struct Preset {
  const char* name;         // what one sees: "Figure eight"
  const char* description;  // a few words more, for `orbelune presets` and the sheet's menu
  std::int64_t sweepMethod = 0;
  double sweepTime = 20.0;
  double frequencyX1 = 1.0, frequencyX2 = 1.0;
  double frequencyY1 = 1.0, frequencyY2 = 1.0;
  double phaseX1 = 90.0, phaseX2 = 90.0;
  double phaseY1 = 90.0, phaseY2 = 90.0;
  std::optional<double> figureSize = std::nullopt;
  std::optional<double> lineWidth = std::nullopt;

  void applyTo(Settings& settings) const;
  // Whether applying it sets the setting: every shape setting, and the looks it names.
  bool sets(const SettingDescriptor& setting) const;
};

// The gallery, in the order the menu and `orbelune presets` list it.
std::span<const Preset> presetTable();
// The preset of that name, in any case and with '-' for spaces ("figure-eight"
// finds "Figure eight"), or nullptr.
const Preset* findPreset(std::string_view name);
// The name as one word for a command line: lower case, spaces as '-'
// ("figure-eight"); findPreset takes it back.
std::string dashedName(const Preset& preset);
// The names, comma-separated, for messages.
std::string presetNames();

// A figure drawn at random from a space that looks good, over `settings`:
// small whole-number ratios (1 to 7), now and then a slight detune that makes
// the figure turn, random phases, sometimes a sweep. The same seed gives the
// same figure on every machine.
void surpriseFigure(Settings& settings, std::uint64_t seed);

// The seed's next value (splitmix64): a small generator of our own, so that a
// seed draws the same numbers whatever the standard library.
std::uint64_t nextRandom(std::uint64_t& state);
// A number in [0, 1) from the generator.
double randomUnit(std::uint64_t& state);
// A seed for a draw no one gave a seed for: from the clocks, new each call.
std::uint64_t freshSeed();

}  // namespace orbelune
