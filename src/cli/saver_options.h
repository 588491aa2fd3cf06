#pragma once
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/flag_table.h"
#include "contracts/color.h"
#include "settings/setting_overrides.h"
#include "settings/setting_table.h"

namespace orbelune {

using SaverOverrides = SettingOverrides;

// Takes the flag at args[i] (and its value) if it is a setting's, or one that
// sets several: --preset NAME (the preset's values) and --random (a surprise
// figure drawn from `seed`, or from the clock without one); advances i past
// what it took, appending one override per setting in order, so that later
// flags win. Also steps over --seed N, which findSeed reads. Throws
// cli::UsageError, naming the flag and what it takes, for a bad value. False
// when args[i] is none of these.
bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out,
                      std::optional<std::uint64_t> seed = std::nullopt);

// The seed of --seed N anywhere on the command line (the last one wins), or
// nullopt. A surprise figure is drawn where --random stands, so the seed must
// be known before the flags are read in order. Throws cli::UsageError for an N
// that is no whole number from 0 to 2^64-1.
std::optional<std::uint64_t> findSeed(const std::vector<std::string>& args);

// The settings flags, --preset, --random and --seed, as flags a command takes
// beside its own table's (cli::readFlags), adding to `out`.
cli::MoreFlags settingFlags(SaverOverrides& out, std::optional<std::uint64_t> seed);

// The value of --scale S, pixels a point, from 0.5 to 8; throws
// cli::UsageError for any other.
double parseScale(const std::string& text);

// The settings part of --help, one entry per setting of the table.
void printSettingFlags(std::ostream& out);

// `orbelune presets`: each preset's name and description, one a line.
void printPresets(std::ostream& out);

// --preset, --random and --seed for --help, with the presets' names.
void printFigureFlags(std::ostream& out);

}  // namespace orbelune
