// orbelune-docgen: writes the XScreenSaver description (orbelune.xml) and the
// man page's settings options from the settings table, at build time.
//   orbelune-docgen xml DESCRIPTION.txt > orbelune.xml
//   orbelune-docgen man TEMPLATE > orbelune.6   (replaces the lines @SETTINGS@ and @PRESETS@)
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "base/number_text.h"
#include "contracts/color.h"
#include "contracts/color_text.h"
#include "settings/presets.h"
#include "settings/setting_table.h"
#include "settings/settings_keys.h"

namespace orbelune {
namespace {

std::string slurp(const char* file) {
  std::ifstream in(file);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The colours XScreenSaver's dialog offers beside the stored one; any other
// colour is for orbelune-settings or the command line.
constexpr const char* kColourChoices[] = {"gold", "orange", "red", "limegreen", "cyan", "white", "black"};

std::string id(const SettingDescriptor& d) { return d.flag; }

void number(std::ostream& out, const SettingDescriptor& d, const char* indent) {
  const bool slider = d.slider.low != nullptr;
  const double low = d.dialogMinimum(), high = d.dialogMaximum();
  std::string label = d.label;
  if (*d.unit) label += std::string(" (") + d.unit + ")";
  out << indent << "<number id=\"" << id(d) << "\" type=\"" << (slider ? "slider" : "spinbutton") << "\" arg=\"--"
      << d.flag << " %\"\n"
      << indent << "        _label=\"" << label << "\"";
  if (slider) out << " _low-label=\"" << d.slider.low << "\" _high-label=\"" << d.slider.high << "\"";
  out << "\n" << indent << "        low=\"" << formatShortest(low) << "\" high=\"" << formatShortest(high)
      << "\" default=\"" << formatShortest(d.builtIn) << "\"/>\n";
}

// The figure menu: the stored figure (no flag, XScreenSaver's default item) or
// one of the presets, passed in its dashed form so that it needs no quotes.
void presetSelect(std::ostream& out) {
  out << "  <select id=\"preset\">\n"
      << "    <option id=\"preset-stored\" _label=\"Stored figure\"/>\n";
  for (const auto& p : presetTable()) {
    out << "    <option id=\"preset-" << dashedName(p) << "\" _label=\"" << p.name << "\" arg-set=\"--preset "
        << dashedName(p) << "\"/>\n";
  }
  out << "  </select>\n\n";
}

int writeXml(const char* descriptionFile) {
  std::ostream& out = std::cout;
  out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
         "<!-- Generated from the settings table by orbelune-docgen. -->\n\n"
         "<screensaver name=\"orbelune\" _label=\"Orbelune\">\n\n"
         "  <command arg=\"--root\"/>\n\n";
  const auto table = settingTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const SettingDescriptor& d = table[i];
    if (std::string(d.key) == keys::kSweepMethod) presetSelect(out);
    visit(d, overloaded{
                 [&](std::int64_t Settings::*) {
                   out << "  <select id=\"" << id(d) << "\">\n";
                   for (int v = int(d.low); v <= int(d.high); ++v) {
                     out << "    <option id=\"" << id(d) << "-" << v << "\" _label=\"" << d.choiceNames[v] << "\"";
                     // The default item passes no flag, as XScreenSaver expects.
                     if (v != int(d.builtIn)) out << " arg-set=\"--" << d.flag << " " << v << "\"";
                     out << "/>\n";
                   }
                   out << "  </select>\n\n";
                 },
                 [&](double Settings::*) {
                   // A first and second value side by side: x1 with x2.
                   if (d.besideNext && i + 1 < table.size()) {
                     out << "  <hgroup>\n";
                     number(out, d, "    ");
                     number(out, table[++i], "    ");
                     out << "  </hgroup>\n\n";
                   } else {
                     number(out, d, "  ");
                     out << "\n";
                   }
                 },
                 [&](bool Settings::*) {
                   out << "  <boolean id=\"" << id(d) << "\" _label=\"" << d.label << "\" ";
                   if (d.builtIn != 0) out << "arg-unset=\"--" << d.negation << "\"/>\n\n";
                   else out << "arg-set=\"--" << d.flag << "\"/>\n\n";
                 },
                 [&](ColorField Settings::*) {
                   out << "  <select id=\"" << id(d) << "\">\n"
                       << "    <option id=\"" << id(d) << "-stored\" _label=\"" << d.label << ": as stored\"/>\n";
                   for (const char* c : kColourChoices) {
                     out << "    <option id=\"" << id(d) << "-" << c << "\" _label=\"" << d.label << ": " << c
                         << "\" arg-set=\"--" << d.flag << " " << c << "\"/>\n";
                   }
                   out << "  </select>\n\n";
                 },
             });
  }
  // What every hack offers beside its own settings.
  out << "  <boolean id=\"showfps\" _label=\"Show frame rate\" arg-set=\"--fps\"/>\n\n";
  out << "  <_description>\n" << slurp(descriptionFile) << "  </_description>\n</screensaver>\n";
  return 0;
}

// Text as the man page writes it, every '-' a minus sign: Four\-lobed knot
std::string manText(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

// A flag as the man page writes it: \-\-sweep\-time
std::string manFlag(const std::string& flag) { return "\\-\\-" + manText(flag); }

// Replaces the line `marker` of the template; false when it has none.
bool fillMarker(std::string& text, const std::string& marker, const std::string& with) {
  auto at = text.find(marker + "\n");
  if (at == std::string::npos) return false;
  text.replace(at, marker.size() + 1, with);
  return true;
}

int writeMan(const char* templateFile) {
  std::stringstream options;
  for (const auto& d : settingTable()) {
    options << ".TP\n";
    const std::string unit = *d.unit ? std::string(", in ") + d.unit : "";
    visit(d, overloaded{
                 [&](bool Settings::*) {
                   options << ".BR " << manFlag(d.flag) << " \", \" " << manFlag(d.negation) << "\n"
                           << d.label << " (default " << (d.builtIn != 0 ? "on" : "off") << ").\n";
                 },
                 [&](std::int64_t Settings::*) {
                   options << ".BI " << manFlag(d.flag) << " \" N\"\n"
                           << d.choiceManual << "; " << formatShortest(d.low) << " to " << formatShortest(d.high)
                           << " (default " << formatShortest(d.builtIn) << ").\n";
                 },
                 [&](double Settings::*) {
                   options << ".BI " << manFlag(d.flag) << " \" X\"\n" << d.label << unit << "; ";
                   if (!std::isnan(d.lowestOn)) {
                     options << formatShortest(d.low) << " (off) or " << formatShortest(d.lowestOn) << " to "
                             << formatShortest(d.high);
                   } else if (d.bounded()) {
                     options << formatShortest(d.low) << " to " << formatShortest(d.high);
                   } else {
                     options << "any number";
                   }
                   options << " (default " << formatShortest(d.builtIn) << ").\n";
                 },
                 [&](ColorField Settings::*) {
                   options << ".BI " << manFlag(d.flag) << " \" COLOUR\"\n"
                           << d.label << ": " << kColorTextForms << " (default "
                           << describeColor(d.builtInColor) << ").\n";
                 },
             });
  }
  std::stringstream presets;
  for (const auto& p : presetTable()) {
    presets << ".TP\n.B " << manText(p.name) << "\n" << manText(p.description) << " (\\fB\\-\\-preset "
            << manText(dashedName(p)) << "\\fP).\n";
  }
  std::string text = slurp(templateFile);
  for (const auto& [marker, with] : {std::pair{std::string("@SETTINGS@"), options.str()},
                                     std::pair{std::string("@PRESETS@"), presets.str()}}) {
    if (!fillMarker(text, marker, with)) {
      std::cerr << "orbelune-docgen: " << templateFile << " has no " << marker << " line\n";
      return 1;
    }
  }
  std::cout << text;
  return 0;
}

}  // namespace
}  // namespace orbelune

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what == "xml") return orbelune::writeXml(argv[2]);
  if (what == "man") return orbelune::writeMan(argv[2]);
  std::cerr << "usage: orbelune-docgen xml DESCRIPTION | man TEMPLATE\n";
  return 2;
}
