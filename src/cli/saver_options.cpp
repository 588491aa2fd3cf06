#include "cli/saver_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/cli.h"
#include "contracts/color_text.h"
#include "base/number_text.h"

namespace orbelune {

std::string describeColor(const Color& c) {
  auto byte = [](double v) { return static_cast<unsigned>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  char buf[16];
  if (c.alpha >= 1.0) std::snprintf(buf, sizeof buf, "#%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue));
  else std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue), byte(c.alpha));
  return buf;
}

namespace {

std::string whatItTakes(const SettingDescriptor& d) {
  return visit(d, overloaded{
                      [&](std::int64_t Settings::*) {
                        return "a whole number from " + formatShortest(d.low) + " to " + formatShortest(d.high);
                      },
                      [&](double Settings::*) {
                        if (!d.bounded()) return std::string("a finite number of ") + d.unit;
                        return "a number from " + formatShortest(d.low) + " to " + formatShortest(d.high);
                      },
                      [](bool Settings::*) { return std::string("no value"); },
                      [](ColorField Settings::*) {
                        return std::string(kColorTextForms);
                      },
                  });
}

}  // namespace

bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out) {
  auto name = cli::flagName(args[i]);
  if (!name) return false;
  for (const auto& d : settingTable()) {
    if (d.kind() == SettingKind::Boolean) {
      if (*name == d.flag || *name == d.negation) {
        out.values.push_back({&d, *name == d.flag ? 1.0 : 0.0, {}});
        ++i;
        return true;
      }
      continue;
    }
    if (*name != d.flag) continue;
    if (i + 1 >= args.size()) throw cli::UsageError(args[i] + " needs " + whatItTakes(d));
    const std::string& text = args[i + 1];
    SettingOverride o{&d, 0.0, {}};
    bool ok = false;
    bool outOfRange = false;
    if (d.kind() == SettingKind::Color) {
      auto c = parseColorText(text);
      if ((ok = c.has_value())) o.color = *c;
    } else if (auto v = parseNumber(text)) {
      const bool whole = d.kind() != SettingKind::Choice || std::trunc(*v) == *v;
      ok = whole && (!d.bounded() || (*v >= d.low && *v <= d.high));
      o.number = *v;
    } else {
      outOfRange = v.error() == NumberProblem::OutOfRange;
    }
    if (!ok) {
      // Say why when the number itself cannot be read ("1e999" is out of range).
      const std::string why = outOfRange ? " (out of range)" : "";
      throw cli::UsageError(args[i] + " needs " + whatItTakes(d) + ", not " + cli::shown(text) + why);
    }
    out.values.push_back(o);
    i += 2;
    return true;
  }
  return false;
}

void printSettingFlags(std::ostream& out) {
  for (const auto& d : settingTable()) {
    const std::string flag = std::string("--") + d.flag;
    const std::string unit = *d.unit ? std::string(" (") + d.unit + ")" : "";
    visit(d, overloaded{
                 [&](bool Settings::*) {
                   out << "  " << flag << ", --" << d.negation << "\n      " << d.label << " (default "
                       << (d.builtIn != 0 ? "on" : "off") << ")\n";
                 },
                 [&](std::int64_t Settings::*) {
                   out << "  " << flag << " N\n      " << d.label << ": " << formatShortest(d.low) << " to "
                       << formatShortest(d.high) << " (default " << formatShortest(d.builtIn) << "); "
                       << d.choiceHelp << "\n";
                 },
                 [&](double Settings::*) {
                   out << "  " << flag << " X\n      " << d.label << unit << ": ";
                   if (d.bounded()) out << formatShortest(d.low) << " to " << formatShortest(d.high);
                   else out << "any number";
                   out << " (default " << formatShortest(d.builtIn) << ")\n";
                 },
                 [&](ColorField Settings::*) {
                   out << "  " << flag << " COLOUR\n      " << d.label
                       << ": " << kColorTextForms << " (default " << describeColor(d.builtInColor)
                       << ")\n";
                 },
             });
  }
}

}  // namespace orbelune
