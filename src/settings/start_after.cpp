#include "settings/start_after.h"

#include <cstdint>
#include <variant>

#include "settings/settings_keys.h"

namespace orbelune {

std::optional<double> storedMinutes(const SettingDescriptor& row, const ScreenSaverDefaults& store) {
  auto v = store.storedValue(row.key);
  if (!v) return std::nullopt;
  if (auto r = std::get_if<double>(&*v)) return *r;
  if (auto i = std::get_if<std::int64_t>(&*v)) return static_cast<double>(*i);
  return std::nullopt;
}

const SettingDescriptor& StartAfter::setting() { return *findSetting(keys::kStartAfterMinutes); }

bool StartAfter::takes(double seconds) {
  const SettingDescriptor& d = setting();
  return seconds >= d.low * 60.0 && seconds <= d.high * 60.0;
}

std::optional<double> StartAfter::storedMinutes(const ScreenSaverDefaults& store) {
  return orbelune::storedMinutes(setting(), store);
}

double StartAfter::secondsFrom(const ScreenSaverDefaults* store) {
  if (store) {
    if (auto minutes = storedMinutes(*store); minutes && takes(*minutes * 60.0)) return *minutes * 60.0;
  }
  return setting().builtIn * 60.0;
}

const SettingDescriptor& LockAfter::setting() { return *findSetting(keys::kLockAfterMinutes); }

double LockAfter::secondsFrom(const ScreenSaverDefaults* store) {
  const SettingDescriptor& d = setting();
  if (!store) return d.builtIn * 60.0;
  auto minutes = orbelune::storedMinutes(d, *store);
  if (!minutes || !(*minutes >= d.low && *minutes <= d.high)) return d.builtIn * 60.0;
  return d.mendStored(*minutes) * 60.0;
}

}  // namespace orbelune
