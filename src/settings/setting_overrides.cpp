#include "settings/setting_overrides.h"

namespace orbelune {

void SettingOverrides::applyTo(Settings& s) const {
  for (const auto& o : values) {
    if (auto m = o.setting->member<ColorField>()) s.*m = o.color;
    else setNumber(s, *o.setting, o.number);
  }
}

}  // namespace orbelune
