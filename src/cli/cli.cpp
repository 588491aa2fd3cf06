#include "cli/cli.h"

#include "base/printable_text.h"

namespace orbelune::cli {

std::string shown(const std::string& argument) {
  constexpr std::size_t kLongest = 64;
  if (argument.size() <= kLongest) return "'" + printable(argument) + "'";
  // Cut at a character's start, not inside a UTF-8 sequence.
  std::size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(argument[cut]) & 0xC0) == 0x80) --cut;
  return "'" + printable(argument.substr(0, cut)) + "…'";
}

std::optional<std::string> flagName(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return std::nullopt;
  std::size_t start = arg[1] == '-' ? 2 : 1;
  if (start >= arg.size()) return std::nullopt;
  return arg.substr(start);
}

}  // namespace orbelune::cli
