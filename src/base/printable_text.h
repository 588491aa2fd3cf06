#pragma once
#include <string>
#include <string_view>

namespace orbelune {

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// The text as it may be shown on a terminal, one line: a backslash as "\\",
// newline, tab and carriage return as "\n", "\t", "\r", any other control
// character and every byte that is not part of well-formed UTF-8 as "\xNN".
// A stored key cannot forge a line of output or send an escape sequence.
std::string printable(std::string_view text);

}  // namespace orbelune
