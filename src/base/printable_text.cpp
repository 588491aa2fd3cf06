#include "base/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace orbelune {
namespace {
// The length of the well-formed UTF-8 sequence at `i`, or 0.
std::size_t sequenceLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b == 0xE0) n = 3, low = 0xA0;
  else if (b >= 0xE1 && b <= 0xEC) n = 3;
  else if (b == 0xED) n = 3, high = 0x9F;  // no surrogates
  else if (b >= 0xEE && b <= 0xEF) n = 3;
  else if (b == 0xF0) n = 4, low = 0x90;
  else if (b >= 0xF1 && b <= 0xF3) n = 4;
  else if (b == 0xF4) n = 4, high = 0x8F;
  else return 0;
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}
}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = sequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t n = sequenceLength(text, i);
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (n == 1 && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    else if (n > 1 && !(static_cast<unsigned char>(c) == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      out.append(text, i, n);  // C1 controls (U+0080..U+009F) are escaped below
      i += n;
      continue;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    }
    ++i;
  }
  return out;
}

}  // namespace orbelune
