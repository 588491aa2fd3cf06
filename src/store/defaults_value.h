#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orbelune {

using Bytes = std::vector<std::uint8_t>;

// One value of the preferences store. Each keeps its type through a write and a
// read: integer, real, boolean, data or string.
using DefaultsValue = std::variant<std::int64_t, double, bool, Bytes, std::string>;

// Lowercase hex of the bytes, and its inverse (nullopt on odd length or a non-hex digit).
std::string toHex(const Bytes& data);
bool fromHex(const std::string& hex, Bytes& out);

// The value as `orbelune defaults read` prints it.
std::string describeValue(const DefaultsValue& v);

}  // namespace orbelune
