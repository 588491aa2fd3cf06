#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "contracts/color.h"
#include "settings/setting_overrides.h"
#include "settings/setting_table.h"

namespace orbelune {


using SaverOverrides = SettingOverrides;

// Takes the flag at args[i] (and its value) if it is a setting's; advances i
// past what it took. Throws cli::UsageError, naming the flag and what it takes,
// for a bad value. False when args[i] is no setting's flag.
bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out);

// A colour as "#rrggbb" or "#rrggbbaa".
std::string describeColor(const Color& c);

// The settings part of --help, one entry per setting of the table.
void printSettingFlags(std::ostream& out);

}  // namespace orbelune
