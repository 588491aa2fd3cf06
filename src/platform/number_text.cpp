#include "platform/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace orbelune {

std::string format2f(double v) {
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  return std::string(buf, res.ptr);
}

double leadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  // Only the characters a decimal number can be made of; from_chars alone would
  // also take "inf", "nan" and hexadecimal forms.
  std::size_t end = i;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  const std::size_t digitsStart = end;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  }
  if (end == digitsStart || (end == digitsStart + 1 && text[digitsStart] == '.')) return 0.0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
      while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
      end = e;
    }
  }
  const char* first = text.data() + i;
  if (*first == '+') ++first;
  double v = 0.0;
  auto res = std::from_chars(first, text.data() + end, v);
  if (res.ec != std::errc() || !std::isfinite(v)) return 0.0;
  return v;
}

}  // namespace orbelune
