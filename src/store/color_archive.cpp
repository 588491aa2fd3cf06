#include "store/color_archive.h"

#include <bit>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

namespace orbelune {
using json = nlohmann::json;

namespace {
constexpr const char* kArchiverName = "OrbeluneKeyedArchiver";
constexpr std::size_t kKeyedMaxSize = 4096;
constexpr std::uint8_t kLegacyMagic[4] = {'O', 'R', 'B', 'C'};
constexpr std::uint8_t kLegacyVersion = 1;
constexpr std::uint8_t kLegacySpaceSRGB = 1;
constexpr std::size_t kLegacySize = 40;

void putBigEndian(Bytes& out, double v) {
  auto bits = std::bit_cast<std::uint64_t>(v);
  for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

double getBigEndian(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | p[i];
  return std::bit_cast<double>(bits);
}

// Whether `object` holds `name` as exactly the string `expected`. A field of
// another JSON type is a mismatch, never an exception.
bool hasString(const json& object, const char* name, const char* expected) {
  auto it = object.find(name);
  return it != object.end() && it->is_string() && it->get_ref<const std::string&>() == expected;
}
}  // namespace

Bytes KeyedArchiver::archive(const Color& c) {
  json root = {{"$class", "Color"}, {"space", "sRGB"}, {"red", c.red}, {"green", c.green}, {"blue", c.blue},
               {"alpha", c.alpha}};
  json doc = {{"$archiver", kArchiverName}, {"$version", 1}, {"root", root}};
  std::string text = doc.dump();
  return Bytes(text.begin(), text.end());
}

std::optional<Color> KeyedUnarchiver::unarchiveColor(const Bytes& data) {
  if (data.empty() || data.size() > kKeyedMaxSize) return std::nullopt;
  json doc = json::parse(data.begin(), data.end(), nullptr, /*allow_exceptions=*/false);
  if (!doc.is_object()) return std::nullopt;
  auto version = doc.find("$version");
  auto root = doc.find("root");
  if (!hasString(doc, "$archiver", kArchiverName)) return std::nullopt;
  if (version == doc.end() || !version->is_number_integer() || *version != 1) return std::nullopt;
  if (root == doc.end() || !root->is_object()) return std::nullopt;
  if (!hasString(*root, "$class", "Color") || !hasString(*root, "space", "sRGB")) return std::nullopt;
  double comps[4];
  const char* names[4] = {"red", "green", "blue", "alpha"};
  for (int i = 0; i < 4; ++i) {
    auto it = root->find(names[i]);
    if (it == root->end() || !it->is_number()) return std::nullopt;
    comps[i] = it->get<double>();
  }
  Color c{comps[0], comps[1], comps[2], comps[3]};
  if (!isValidColor(c)) return std::nullopt;
  return c;
}

Bytes Archiver::archive(const Color& c) {
  Bytes out(std::begin(kLegacyMagic), std::end(kLegacyMagic));
  out.push_back(kLegacyVersion);
  out.push_back(kLegacySpaceSRGB);
  out.push_back(0);
  out.push_back(0);
  for (double v : {c.red, c.green, c.blue, c.alpha}) putBigEndian(out, v);
  return out;
}

std::optional<Color> Unarchiver::unarchive(const Bytes& data) {
  if (data.size() != kLegacySize) return std::nullopt;
  if (std::memcmp(data.data(), kLegacyMagic, 4) != 0) return std::nullopt;
  if (data[4] != kLegacyVersion || data[5] != kLegacySpaceSRGB || data[6] != 0 || data[7] != 0) return std::nullopt;
  const std::uint8_t* p = data.data() + 8;
  Color c{getBigEndian(p), getBigEndian(p + 8), getBigEndian(p + 16), getBigEndian(p + 24)};
  if (!isValidColor(c)) return std::nullopt;
  return c;
}

}  // namespace orbelune
