// The number parsers and the printable form on any text: a number that parses
// is finite and reads back the same from its shortest form; a printable text
// holds no control character and is valid UTF-8.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/number_text.h"
#include "base/printable_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orbelune;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto v = parseNumber(text)) {
    if (!std::isfinite(*v)) std::abort();
    char buf[64];
    auto end = std::to_chars(buf, buf + sizeof buf, *v).ptr;
    auto again = parseNumber(std::string_view(buf, static_cast<std::size_t>(end - buf)));
    if (!again || *again != *v) std::abort();
  }
  const auto scanned = scanNumber(text);
  if (scanned.length > text.size()) std::abort();
  if (auto n = leadingNumber(text); n && !std::isfinite(*n)) std::abort();
  (void)parseInteger(text);
  (void)format2f(leadingNumber(text).value_or(0.0));
  const std::string shown = printable(text);
  if (!isValidUtf8(shown)) std::abort();
  for (unsigned char c : shown) {
    if (c < 0x20 || c == 0x7F) std::abort();
  }
  return 0;
}
