#include "cli/cli.h"

namespace orbelune::cli {

std::optional<std::string> flagName(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return std::nullopt;
  std::size_t start = arg[1] == '-' ? 2 : 1;
  if (start >= arg.size()) return std::nullopt;
  return arg.substr(start);
}

}  // namespace orbelune::cli
