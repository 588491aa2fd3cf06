#include "cli/saver_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/cli.h"
#include "contracts/color_text.h"
#include "base/number_text.h"
#include "settings/presets.h"

namespace orbelune {

namespace {

std::string whatItTakes(const SettingDescriptor& d) {
  return visit(d, overloaded{
                      [&](std::int64_t Settings::*) {
                        return "a whole number from " + formatShortest(d.low) + " to " + formatShortest(d.high);
                      },
                      [&](double Settings::*) {
                        if (!d.bounded()) return std::string("a finite number of ") + d.unit;
                        if (!std::isnan(d.lowestOn)) {
                          return formatShortest(d.low) + " (off) or a number from " + formatShortest(d.lowestOn) +
                                 " to " + formatShortest(d.high);
                        }
                        return "a number from " + formatShortest(d.low) + " to " + formatShortest(d.high);
                      },
                      [](bool Settings::*) { return std::string("no value"); },
                      [](ColorField Settings::*) {
                        return std::string(kColorTextForms);
                      },
                  });
}

void appendNumber(SaverOverrides& out, const SettingDescriptor& d, const Settings& s) {
  const double v = visit(d, overloaded{
                                [&](std::int64_t Settings::*m) { return static_cast<double>(s.*m); },
                                [&](double Settings::*m) { return s.*m; },
                                [&](bool Settings::*m) { return s.*m ? 1.0 : 0.0; },
                                [](ColorField Settings::*) { return 0.0; },
                            });
  out.values.push_back({&d, v, {}});
}

// The preset's values as overrides, one per setting it sets, in table order.
void appendPreset(SaverOverrides& out, const Preset& preset) {
  Settings s;
  preset.applyTo(s);
  for (const auto& d : settingTable()) {
    if (preset.sets(d)) appendNumber(out, d, s);
  }
}

// A surprise figure as overrides: its shape, the sweep time only when it
// sweeps, as only then does the surprise choose one.
void appendSurprise(SaverOverrides& out, std::uint64_t seed) {
  Settings s;
  surpriseFigure(s, seed);
  for (const auto& d : settingTable()) {
    if (d.figure != FigureRole::Shape) continue;
    if (d.member<double>() == &Settings::sweepTime && s.sweepMethod == 0) continue;
    appendNumber(out, d, s);
  }
}

std::optional<std::uint64_t> parseSeed(const std::string& text) {
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

constexpr const char* kSeedTakes = "--seed needs a whole number from 0 to 18446744073709551615";

}  // namespace

std::optional<std::uint64_t> findSeed(const std::vector<std::string>& args) {
  std::optional<std::uint64_t> seed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (cli::flagName(args[i]) != "seed") continue;
    if (i + 1 >= args.size()) throw cli::UsageError(kSeedTakes);
    seed = parseSeed(args[++i]);
    if (!seed) throw cli::UsageError(std::string(kSeedTakes) + ", not " + cli::shown(args[i]));
  }
  return seed;
}

bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out,
                      std::optional<std::uint64_t> seed) {
  auto name = cli::flagName(args[i]);
  if (!name) return false;
  if (*name == "preset") {
    const std::string names = " (any case, '-' for spaces): " + presetNames();
    if (i + 1 >= args.size()) throw cli::UsageError("--preset needs a name" + names);
    const Preset* preset = findPreset(args[i + 1]);
    if (!preset) throw cli::UsageError("--preset needs a name" + names + "; not " + cli::shown(args[i + 1]));
    appendPreset(out, *preset);
    i += 2;
    return true;
  }
  if (*name == "random") {
    appendSurprise(out, seed ? *seed : freshSeed());
    ++i;
    return true;
  }
  if (*name == "seed") {
    if (i + 1 >= args.size()) throw cli::UsageError(kSeedTakes);
    if (!parseSeed(args[i + 1])) throw cli::UsageError(std::string(kSeedTakes) + ", not " + cli::shown(args[i + 1]));
    i += 2;
    return true;
  }
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
      ok = whole && (!d.bounded() || (*v >= d.low && *v <= d.high)) && !d.belowLowestOn(*v);
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

cli::MoreFlags settingFlags(SaverOverrides& out, std::optional<std::uint64_t> seed) {
  return [&out, seed](const std::vector<std::string>& args, std::size_t& i) {
    return parseSaverOption(args, i, out, seed);
  };
}

double parseScale(const std::string& text) {
  auto v = parseNumber(text);
  if (!v || *v < 0.5 || *v > 8.0) throw cli::UsageError("--scale needs a number from 0.5 to 8, not " + cli::shown(text));
  return *v;
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
                   if (!std::isnan(d.lowestOn)) {
                     out << formatShortest(d.low) << " (off) or " << formatShortest(d.lowestOn) << " to "
                         << formatShortest(d.high);
                   } else if (d.bounded()) {
                     out << formatShortest(d.low) << " to " << formatShortest(d.high);
                   } else {
                     out << "any number";
                   }
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

void printPresets(std::ostream& out) {
  for (const auto& p : presetTable()) out << p.name << "  " << p.description << "\n";
}

void printFigureFlags(std::ostream& out) {
  out << "  --preset NAME\n      a named figure: its frequencies, phases and sweep (flags after it override\n"
         "      them); any case, '-' for spaces (orbelune presets describes them):\n";
  std::string line = "      ";
  for (const auto& p : presetTable()) {
    const std::string word = dashedName(p);
    if (line.size() + word.size() + 2 > 79) {
      out << line << "\n";
      line = "      ";
    }
    line += (line.size() > 6 ? " " : "") + word;
  }
  out << line << "\n"
      << "  --random\n      a surprise figure: small whole-number ratios, random phases, sometimes a sweep\n"
         "  --seed N\n      the seed of --random, 0 to 18446744073709551615 (default: from the clock);\n"
         "      the same seed draws the same figure\n";
}

}  // namespace orbelune
