#pragma once
#include "contracts/color.h"
#include "contracts/geometry.h"
#include "contracts/graphics.h"
#include "lock/lock_prompt.h"

namespace orbelune {

// How the prompt looks: its text colour and the colour of the outline that
// keeps it readable over the figure (the view's text and background colours).
struct PromptStyle {
  Color text = Color::white();
  Color outline = Color::black();
  double scale = 1.0;
};

// The most dots drawn; a longer password shows this many.
inline constexpr std::size_t kMostDots = 40;

// Draws the prompt over whatever is in `bounds` (view coordinates, y up), in
// the lower third, centred: a line of dots for the typed characters (or a
// hint to type), under it the prompt's message, and under that what PAM said
// during the try (prompt.detail()). Nothing is drawn while
// its opacity is 0; fading scales the colours' alpha.
void drawLockPrompt(Graphics& graphics, const LockPrompt& prompt, const Rect& bounds, const PromptStyle& style);

}  // namespace orbelune
