#include "settings/setting_overrides.h"

namespace orbelune {

void SettingOverrides::applyTo(Settings& s) const {
  for (const auto& o : values) {
    const SettingDescriptor& d = *o.setting;
    if (d.choice) s.*d.choice = static_cast<std::int64_t>(o.number);
    if (d.real) s.*d.real = o.number;
    if (d.boolean) s.*d.boolean = o.number != 0.0;
    if (d.color) s.*d.color = o.color;
  }
}

}  // namespace orbelune
