#pragma once
#include <vector>

#include "contracts/color.h"
#include "settings/setting_table.h"

namespace orbelune {

// Values given for one run (on the command line, as XScreenSaver keeps a hack's
// settings): they act on that run's views and are never written.
struct SettingOverride {
  const SettingDescriptor* setting;
  double number = 0.0;  // choices, reals, booleans
  Color color;          // colours
};

struct SettingOverrides {
  std::vector<SettingOverride> values;
  bool empty() const { return values.empty(); }
  // Later values win over earlier ones of the same setting.
  void applyTo(Settings& settings) const;
};

}  // namespace orbelune
