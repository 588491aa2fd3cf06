#include "host/cli.h"

#include <charconv>
#include <cmath>

namespace orbelune::cli {

std::optional<double> parseFiniteDouble(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;
  double v = 0.0;
  auto res = std::from_chars(first, last, v);
  if (res.ec != std::errc() || res.ptr != last || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> parseInteger(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;
  long long v = 0;
  auto res = std::from_chars(first, last, v);
  if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
  return v;
}

std::optional<std::string> flagName(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return std::nullopt;
  std::size_t start = arg[1] == '-' ? 2 : 1;
  if (start >= arg.size()) return std::nullopt;
  return arg.substr(start);
}

}  // namespace orbelune::cli
