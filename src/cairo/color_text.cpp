// Colour names and hex forms through Pango's parser, which carries the X11
// colour database's names.
#include "contracts/color_text.h"

#include <pango/pango.h>

namespace orbelune {

std::optional<Color> parseColorText(const std::string& text) {
  if (text.empty() || text.find('\0') != std::string::npos) return std::nullopt;
  PangoColor c;
  guint16 alpha = 0xffff;
  if (!pango_color_parse_with_alpha(&c, &alpha, text.c_str())) return std::nullopt;
  return Color{c.red / 65535.0, c.green / 65535.0, c.blue / 65535.0, alpha / 65535.0};
}

}  // namespace orbelune
