#pragma once
#include <optional>

#include "contracts/color.h"
#include "store/defaults_value.h"

namespace orbelune {

// Keyed colour archive: a self-describing keyed record of one colour (UTF-8 JSON,
// see docs/colour-archives.md). Decoding checks every field and yields no colour
// for anything else.
struct KeyedArchiver {
  static Bytes archive(const Color& color);
};
struct KeyedUnarchiver {
  static std::optional<Color> unarchiveColor(const Bytes& data);
};

// Legacy colour archive: a fixed 40-byte positional record of one colour.
struct Archiver {
  static Bytes archive(const Color& color);
};
struct Unarchiver {
  // Whether this platform still reads the legacy format (it does).
  static bool canUnarchive() { return true; }
  static std::optional<Color> unarchive(const Bytes& data);
};

}  // namespace orbelune
