#include "settings/settings.h"

#include <cmath>

#include "store/color_archive.h"
#include "store/system_version.h"
#include "settings/setting_table.h"

namespace orbelune {
namespace {

// The data stored (or registered) under the key, if it holds data.
std::optional<Bytes> storedBytes(const ScreenSaverDefaults& store, const char* key) {
  auto v = store.value(key);
  if (auto b = v ? std::get_if<Bytes>(&*v) : nullptr) return std::move(*b);
  return std::nullopt;
}

}  // namespace

void loadSettings(ScreenSaverDefaults& store, Settings& s) {
  const bool current = SystemVersion::isCurrentSystem();
  DefaultsDictionary registration;
  // Every number registers as a real, the sweep method included; the booleans
  // as booleans; the colours in the running system's archive format. The
  // values are the ones `s` holds on entry.
  for (const auto& d : settingTable()) {
    visit(d, overloaded{
                 [&](std::int64_t Settings::*m) { registration[d.key] = static_cast<double>(s.*m); },
                 [&](double Settings::*m) { registration[d.key] = s.*m; },
                 [&](bool Settings::*m) { registration[d.key] = s.*m; },
                 [](ColorField Settings::*) {},
             });
  }
  for (const auto& d : settingTable()) {
    ColorField Settings::*m = d.member<ColorField>();
    if (!m) continue;
    if (!current) {
      registration[d.legacyKey] = Archiver::archive(d.builtInColor);
      continue;
    }
    // Migration: a colour stored in the legacy format becomes the keyed key's
    // default. Legacy data that does not decode leaves the colour as it was, so
    // the keyed default is not emptied by garbage.
    if (Unarchiver::canUnarchive()) {
      if (auto data = storedBytes(store, d.legacyKey)) {
        if (auto c = Unarchiver::unarchive(*data)) s.*m = *c;
      }
    }
    if (const ColorField& c = s.*m) registration[d.key] = KeyedArchiver::archive(*c);
  }

  store.registerDefaults(registration);
  // Reads the file as it is now. Changes the host made and has not written yet
  // are written along; should that fail they still act on this run.
  (void)store.synchronize();

  for (const auto& d : settingTable()) {
    visit(d, overloaded{
                 [&](std::int64_t Settings::*m) { s.*m = store.integer(d.key); },
                 [&](double Settings::*m) { s.*m = store.real(d.key); },
                 [&](bool Settings::*m) { s.*m = store.boolean(d.key); },
                 [&](ColorField Settings::*m) {
                   if (current) {
                     auto data = storedBytes(store, d.key);
                     s.*m = data ? KeyedUnarchiver::unarchiveColor(*data) : std::nullopt;
                   } else if (auto data = storedBytes(store, d.legacyKey)) {
                     if (auto c = Unarchiver::unarchive(*data)) s.*m = *c;
                   }
                 },
             });
  }
  if (!(s.sweepTime > 0.0)) s.sweepTime = kMinimumSweepTime;
  // A real stored beyond where the figure's computations keep their meaning
  // (written by another program, or before the bounds) comes back at the
  // nearest end of its load range; the table says which and why.
  for (const auto& d : settingTable()) {
    double Settings::*m = d.member<double>();
    if (!m || !d.mendedAtLoad()) continue;
    s.*m = std::isnan(s.*m) ? d.builtIn : d.mendStored(s.*m);
  }
}

namespace {

// Calls `put(key, value, changed)` for each setting as the running system
// stores it: the seventeen plain keys and the colours in its archive format (a
// field without a colour has nothing to archive). `changed` says whether the
// setting differs from `baseline`.
template <class Put>
void forEachEntry(const Settings& s, const Settings& baseline, Put put) {
  const bool current = SystemVersion::isCurrentSystem();
  for (const auto& d : settingTable()) {
    visit(d, overloaded{
                 [&](ColorField Settings::*m) {
                   const ColorField& c = s.*m;
                   if (!c) return;
                   const bool changed = c != baseline.*m;
                   if (current) {
                     put(d.key, DefaultsValue(KeyedArchiver::archive(*c)), changed);
                   } else {
                     put(d.legacyKey, DefaultsValue(Archiver::archive(*c)), changed);
                   }
                 },
                 [&](auto m) { put(d.key, DefaultsValue(s.*m), s.*m != baseline.*m); },
             });
  }
}

}  // namespace

Result<void> writeSettings(ScreenSaverDefaults& store, const Settings& s) {
  forEachEntry(s, s, [&](const char* key, const DefaultsValue& value, bool) { store.setObject(value, key); });
  return store.synchronize();
}

Result<void> writeChangedSettings(ScreenSaverDefaults& store, const Settings& s, const Settings& baseline) {
  DefaultsDictionary all;
  forEachEntry(s, baseline, [&](const char* key, const DefaultsValue& value, bool changed) {
    if (changed) store.setObject(value, key);
    all[key] = value;
  });
  store.setObjectsIfNoneStored(all);
  return store.synchronize();
}

}  // namespace orbelune
