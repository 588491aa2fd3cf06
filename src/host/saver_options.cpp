#include "host/saver_options.h"

#include <charconv>
#include <cmath>

#include "host/cli.h"
#include "oscillator/frequency.h"
#include "view/orbelune_view.h"

namespace orbelune {

std::string describeNumber(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

bool parseSaverOption(const std::vector<std::string>& args, std::size_t& i, SaverOverrides& out) {
  auto name = cli::flagName(args[i]);
  if (!name) return false;
  const std::string flag = "-" + *name;
  for (const auto& o : kSaverOptions) {
    if (o.kind == SaverOption::Kind::Boolean) {
      if (flag == o.flag || flag == o.negation) {
        out.values.emplace_back(o.key, flag == o.flag ? 1.0 : 0.0);
        ++i;
        return true;
      }
      continue;
    }
    if (flag != o.flag) continue;
    if (i + 1 >= args.size()) throw cli::UsageError(args[i] + " needs a value");
    const std::string& text = args[i + 1];
    auto v = cli::parseFiniteDouble(text);
    const bool whole = o.kind != SaverOption::Kind::Select || (v && std::trunc(*v) == *v);
    if (!v || !whole || *v < o.low || *v > o.high) {
      throw cli::UsageError(args[i] + " needs " + (o.kind == SaverOption::Kind::Select ? "a whole number" : "a number") +
                            " from " + describeNumber(o.low) + " to " + describeNumber(o.high) + ", not '" + text + "'");
    }
    out.values.emplace_back(o.key, *v);
    i += 2;
    return true;
  }
  return false;
}

void applySaverOverrides(const SaverOverrides& overrides, OrbeluneView& view) {
  for (const auto& [key, v] : overrides.values) {
    if (key == "SweepMethod") Frequency::setSweepMethod(static_cast<std::int64_t>(v));
    else if (key == "SweepRate") Frequency::setSweepRate(v);
    else if (key == "FrequencyX1") view.xAxis().setFrequency1(v);
    else if (key == "FrequencyX2") view.xAxis().setFrequency2(v);
    else if (key == "FrequencyY1") view.yAxis().setFrequency1(v);
    else if (key == "FrequencyY2") view.yAxis().setFrequency2(v);
    else if (key == "FigureSize") view.setFigureSize(v);
    else if (key == "LineWidth") view.setLineWidth(v);
    else if (key == "FitToScreenSize") view.setFitToScreenSize(v != 0.0);
    else if (key == "ShowCurrentValue") view.setShowCurrentValue(v != 0.0);
  }
}

}  // namespace orbelune
