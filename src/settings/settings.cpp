#include "settings/settings.h"

#include <cmath>

#include "platform/color_archive.h"
#include "platform/system_version.h"
#include "settings/settings_keys.h"

namespace orbelune {
namespace {

// The data stored (or registered) under the key, if it holds data.
std::optional<Bytes> dataForKey(const ScreenSaverDefaults& store, const char* key) {
  auto v = store.objectForKey(key);
  if (auto b = v ? std::get_if<Bytes>(&*v) : nullptr) return std::move(*b);
  return std::nullopt;
}

struct ColorSlot {
  const char* keyedKey;
  const char* legacyKey;
  ColorField Settings::*field;
};

constexpr ColorSlot kColorSlots[] = {
    {keys::kKeyedLineColor, keys::kLineColor, &Settings::lineColor},
    {keys::kKeyedTextColor, keys::kTextColor, &Settings::textColor},
    {keys::kKeyedBackColor, keys::kBackColor, &Settings::backColor},
};

}  // namespace

void loadSettings(ScreenSaverDefaults& store, Settings& s) {
  const bool current = SystemVersion::isCurrentSystem();
  DefaultsDictionary registration;
  registration[keys::kSweepMethod] = 1.0;
  registration[keys::kSweepRate] = 20.0;
  registration[keys::kFrequencyX1] = 1.0;
  registration[keys::kFrequencyX2] = 6.0;
  registration[keys::kFrequencyY1] = 6.0;
  registration[keys::kFrequencyY2] = 6.0;
  registration[keys::kInitialPhaseX] = 90.0;
  registration[keys::kInitialPhaseX2] = 90.0;
  registration[keys::kInitialPhaseY] = 90.0;
  registration[keys::kInitialPhaseY2] = 90.0;

  if (current) {
    if (Unarchiver::respondsToUnarchiveObjectWithData()) {
      for (const auto& slot : kColorSlots) {
        if (auto data = dataForKey(store, slot.legacyKey)) {
          // Legacy data that does not decode leaves the colour as it was, so the
          // keyed default is not emptied by garbage.
          if (auto c = Unarchiver::unarchiveObjectWithData(*data)) s.*slot.field = *c;
        }
      }
    }
    for (const auto& slot : kColorSlots) {
      const ColorField& c = s.*slot.field;
      if (c) registration[slot.keyedKey] = KeyedArchiver::archivedDataWithRootObject(*c);
    }
  } else {
    registration[keys::kLineColor] = Archiver::archivedDataWithRootObject(Color::yellowColor());
    registration[keys::kTextColor] = Archiver::archivedDataWithRootObject(Color::whiteColor());
    registration[keys::kBackColor] = Archiver::archivedDataWithRootObject(Color::blackColor());
  }

  registration[keys::kFigureSize] = s.figureSize;
  registration[keys::kLineWidth] = s.lineWidth;
  registration[keys::kFitToScreenSize] = s.isFitToScreenSize;
  registration[keys::kShowCurrentValue] = s.isShowCurrentValue;
  registration[keys::kShowFrequency] = s.isShowFrequency;
  registration[keys::kShowInitialPhase] = s.isShowInitialPhase;

  store.registerDefaults(registration);
  store.synchronize();

  s.sweepMethod = store.integerForKey(keys::kSweepMethod);
  s.sweepRate = store.doubleForKey(keys::kSweepRate);
  if (!(s.sweepRate > 0.0)) s.sweepRate = kMinimumSweepRate;
  s.frequencyX1 = store.doubleForKey(keys::kFrequencyX1);
  s.frequencyX2 = store.doubleForKey(keys::kFrequencyX2);
  s.frequencyY1 = store.doubleForKey(keys::kFrequencyY1);
  s.frequencyY2 = store.doubleForKey(keys::kFrequencyY2);
  s.initialPhaseX = store.doubleForKey(keys::kInitialPhaseX);
  s.initialPhaseX2 = store.doubleForKey(keys::kInitialPhaseX2);
  s.initialPhaseY = store.doubleForKey(keys::kInitialPhaseY);
  s.initialPhaseY2 = store.doubleForKey(keys::kInitialPhaseY2);

  s.figureSize = store.doubleForKey(keys::kFigureSize);
  s.lineWidth = store.doubleForKey(keys::kLineWidth);
  s.isFitToScreenSize = store.boolForKey(keys::kFitToScreenSize);
  s.isShowCurrentValue = store.boolForKey(keys::kShowCurrentValue);
  s.isShowFrequency = store.boolForKey(keys::kShowFrequency);
  s.isShowInitialPhase = store.boolForKey(keys::kShowInitialPhase);

  for (const auto& slot : kColorSlots) {
    if (current) {
      auto data = dataForKey(store, slot.keyedKey);
      s.*slot.field = data ? KeyedUnarchiver::unarchivedColorFromData(*data) : std::nullopt;
    } else if (auto data = dataForKey(store, slot.legacyKey)) {
      if (auto c = Unarchiver::unarchiveObjectWithData(*data)) s.*slot.field = *c;
    }
  }
}

bool writeSettings(ScreenSaverDefaults& store, const Settings& s) {
  store.setObject(s.sweepMethod, keys::kSweepMethod);
  store.setObject(s.sweepRate, keys::kSweepRate);
  store.setObject(s.frequencyX1, keys::kFrequencyX1);
  store.setObject(s.frequencyX2, keys::kFrequencyX2);
  store.setObject(s.frequencyY1, keys::kFrequencyY1);
  store.setObject(s.frequencyY2, keys::kFrequencyY2);
  store.setObject(s.initialPhaseX, keys::kInitialPhaseX);
  store.setObject(s.initialPhaseX2, keys::kInitialPhaseX2);
  store.setObject(s.initialPhaseY, keys::kInitialPhaseY);
  store.setObject(s.initialPhaseY2, keys::kInitialPhaseY2);
  store.setObject(s.figureSize, keys::kFigureSize);
  store.setObject(s.lineWidth, keys::kLineWidth);
  store.setObject(s.isFitToScreenSize, keys::kFitToScreenSize);
  store.setObject(s.isShowCurrentValue, keys::kShowCurrentValue);
  store.setObject(s.isShowFrequency, keys::kShowFrequency);
  store.setObject(s.isShowInitialPhase, keys::kShowInitialPhase);
  const bool current = SystemVersion::isCurrentSystem();
  for (const auto& slot : kColorSlots) {
    const ColorField& c = s.*slot.field;
    if (!c) continue;  // a field without a colour has nothing to archive
    if (current) {
      store.setObject(KeyedArchiver::archivedDataWithRootObject(*c), slot.keyedKey);
    } else {
      store.setObject(Archiver::archivedDataWithRootObject(*c), slot.legacyKey);
    }
  }
  return store.synchronize();
}

}  // namespace orbelune
