#include "store/defaults_value.h"

#include <charconv>
#include <cstdio>

#include "base/number_text.h"

namespace orbelune {

std::string toHex(const Bytes& data) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(data.size() * 2);
  for (auto b : data) {
    s += digits[b >> 4];
    s += digits[b & 0xF];
  }
  return s;
}

bool fromHex(const std::string& hex, Bytes& out) {
  if (hex.size() % 2 != 0) return false;
  Bytes bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned v = 0;
    auto res = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
    if (res.ec != std::errc() || res.ptr != hex.data() + i + 2) return false;
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  out = std::move(bytes);
  return true;
}

std::string describeValue(const DefaultsValue& v) {
  struct Visitor {
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const { return formatReal(d); }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(const Bytes& b) const { return toHex(b); }
    std::string operator()(const std::string& s) const { return s; }
  };
  return std::visit(Visitor{}, v);
}

}  // namespace orbelune
