#include "base/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace orbelune {
namespace {
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::string formatFixed(double v, int digits) {
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
  return std::string(buf, res.ptr);
}

std::string formatShortest(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string formatReal(double v) {
  std::string s = formatShortest(v);
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

ScannedNumber scanNumber(std::string_view text) {
  // Only the characters a decimal number is made of: from_chars alone would
  // also take "inf", "nan" and, after a '+' skipped by hand, a second sign.
  std::size_t end = 0;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  const std::size_t digitsStart = end;
  while (end < text.size() && isDigit(text[end])) ++end;
  const bool integerDigits = end > digitsStart;
  bool fractionDigits = false;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && isDigit(text[end])) ++end, fractionDigits = true;
  }
  if (!integerDigits && !fractionDigits) return {};
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && isDigit(text[e])) {
      while (e < text.size() && isDigit(text[e])) ++e;
      end = e;
    }
  }
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  double v = 0.0;
  auto res = std::from_chars(first, text.data() + end, v);
  if (res.ec == std::errc::result_out_of_range) return {ScannedNumber::Outcome::OutOfRange, 0.0, end};
  if (res.ec != std::errc() || !std::isfinite(v)) return {};
  return {ScannedNumber::Outcome::Number, v, end};
}

std::optional<double> leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  const ScannedNumber n = scanNumber(text.substr(i));
  if (n.status != ScannedNumber::Outcome::Number) return std::nullopt;
  return n.value;
}

double fieldNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string number(text.substr(i));
  for (char& c : number) {
    if (c == ',') c = '.';
  }
  const ScannedNumber n = scanNumber(number);
  if (n.status == ScannedNumber::Outcome::Number) return n.value;
  if (n.status != ScannedNumber::Outcome::OutOfRange) return 0.0;
  // Out of range: strtod in the C locale says which way, giving infinity of
  // the number's sign (HUGE_VAL) or a number at or near 0. The scanned
  // characters are a plain decimal number, nothing else strtod would take.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  number.resize(n.length);
  const double v = strtod_l(number.c_str(), nullptr, c);
  if (std::isinf(v)) return v;
  return std::signbit(v) ? -0.0 : 0.0;
}

const char* describe(NumberProblem problem) {
  return problem == NumberProblem::OutOfRange ? "is out of range" : "is not a number";
}

Result<double, NumberProblem> parseNumber(std::string_view text) {
  const ScannedNumber n = scanNumber(text);
  if (n.status == ScannedNumber::Outcome::Number && n.length == text.size()) return n.value;
  if (n.status == ScannedNumber::Outcome::OutOfRange && n.length == text.size()) return NumberProblem::OutOfRange;
  return NumberProblem::NotANumber;
}

std::optional<long long> parseInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+' && text.size() > 1 && isDigit(text[1])) ++first;
  long long v = 0;
  auto res = std::from_chars(first, last, v);
  if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
  return v;
}

}  // namespace orbelune
