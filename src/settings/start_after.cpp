#include "settings/start_after.h"

#include <cstdint>
#include <variant>

#include "settings/settings_keys.h"

namespace orbelune {

const SettingDescriptor& StartAfter::setting() { return *findSetting(keys::kStartAfterMinutes); }

bool StartAfter::takes(double seconds) {
  const SettingDescriptor& d = setting();
  return seconds >= d.low * 60.0 && seconds <= d.high * 60.0;
}

std::optional<double> StartAfter::storedMinutes(const ScreenSaverDefaults& store) {
  auto v = store.storedValue(setting().key);
  if (!v) return std::nullopt;
  if (auto r = std::get_if<double>(&*v)) return *r;
  if (auto i = std::get_if<std::int64_t>(&*v)) return static_cast<double>(*i);
  return std::nullopt;
}

double StartAfter::secondsFrom(const ScreenSaverDefaults* store) {
  if (store) {
    if (auto minutes = storedMinutes(*store); minutes && takes(*minutes * 60.0)) return *minutes * 60.0;
  }
  return setting().builtIn * 60.0;
}

}  // namespace orbelune
