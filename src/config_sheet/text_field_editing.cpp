// Live editing of the sheet's ten number fields: every keystroke stores the
// number, bounded as the settings table bounds it, into the live state; the end
// of editing shows the stored value.
#include "settings/setting_table.h"
#include "settings/settings_keys.h"
#include "view/orbelune_view.h"

namespace orbelune {

const SettingDescriptor* OrbeluneView::numberFieldSetting(const Control* field) const {
  if (field == nullptr) return nullptr;
  const std::pair<const TextField*, const char*> fields[] = {
      {_textSweepRate, keys::kSweepRate},           {_textFrequencyX1, keys::kFrequencyX1},
      {_textFrequencyX2, keys::kFrequencyX2},       {_textFrequencyY1, keys::kFrequencyY1},
      {_textFrequencyY2, keys::kFrequencyY2},       {_textInitialPhaseX1, keys::kInitialPhaseX},
      {_textInitialPhaseX2, keys::kInitialPhaseX2}, {_textInitialPhaseY1, keys::kInitialPhaseY},
      {_textInitialPhaseY2, keys::kInitialPhaseY2}, {_textLineWidth, keys::kLineWidth},
  };
  for (const auto& [outlet, key] : fields) {
    if (outlet == field) return findSetting(key);
  }
  return nullptr;
}

void OrbeluneView::controlTextDidChange(Control* sender) {
  auto* field = dynamic_cast<TextField*>(sender);
  const SettingDescriptor* setting = numberFieldSetting(field);
  if (!setting) return;
  Settings s = settings();
  s.*setting->real = setting->clamp(field->doubleValue());
  applySettings(s);
}

void OrbeluneView::controlTextDidEndEditing(Control* sender) {
  auto* field = dynamic_cast<TextField*>(sender);
  const SettingDescriptor* setting = numberFieldSetting(field);
  if (!setting) return;
  field->setDoubleValue(settings().*setting->real);
}

}  // namespace orbelune
