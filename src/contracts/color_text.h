#pragma once
#include <optional>
#include <string>

#include "contracts/color.h"

namespace orbelune {

// A colour as a user writes it: "#rrggbb", "#rrggbbaa" (also the shorter and
// longer hex forms) or an X11 colour name, in any case and with or without its
// spaces ("gold", "dark slate blue"). nullopt for anything else.
std::optional<Color> parseColorText(const std::string& text);

}  // namespace orbelune
