#pragma once
#include <optional>
#include <string>

#include "contracts/color.h"

namespace orbelune {

// A colour as a user writes it: "#rrggbb", "#rrggbbaa" (also the shorter and
// longer hex forms) or an X11 colour name, in any case and with or without its
// spaces ("gold", "dark slate blue"); space around it is ignored. nullopt for
// anything else.
std::optional<Color> parseColorText(const std::string& text);

// What parseColorText takes, as the help, the man page and messages say it.
inline constexpr const char* kColorTextForms =
    "#rrggbb, #rrggbbaa (or #rgb, #rgba, 12 or 16 hex digits) or an X11 colour name such as gold";

}  // namespace orbelune
