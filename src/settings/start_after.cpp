#include "activation/start_after.h"

#include <cstdint>
#include <variant>

namespace orbelune {

std::optional<double> StartAfter::storedMinutes(const ScreenSaverDefaults& store) {
  auto v = store.storedValue(kKey);
  if (!v) return std::nullopt;
  if (auto r = std::get_if<double>(&*v)) return *r;
  if (auto i = std::get_if<std::int64_t>(&*v)) return static_cast<double>(*i);
  return std::nullopt;
}

double StartAfter::secondsFrom(const ScreenSaverDefaults* store) {
  if (store) {
    if (auto minutes = storedMinutes(*store); minutes && takes(*minutes * 60.0)) return *minutes * 60.0;
  }
  return kDefaultMinutes * 60.0;
}

}  // namespace orbelune
