// Colour names and hex forms through Pango's parser, which carries the X11
// colour database's names.
#include "contracts/color_text.h"

#include <pango/pango.h>

namespace orbelune {

std::optional<Color> parseColorText(const std::string& text) {
  // Space around the colour is no part of it, at either end.
  const auto first = text.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos || text.find('\0') != std::string::npos) return std::nullopt;
  const std::string trimmed = text.substr(first, text.find_last_not_of(" \t\n\r\f\v") - first + 1);
  PangoColor c;
  guint16 alpha = 0xffff;
  if (!pango_color_parse_with_alpha(&c, &alpha, trimmed.c_str())) return std::nullopt;
  return Color{c.red / 65535.0, c.green / 65535.0, c.blue / 65535.0, alpha / 65535.0};
}

}  // namespace orbelune
