#pragma once
#include <optional>
#include <stdexcept>
#include <string>

namespace orbelune::cli {

// Bad usage: the command prints the message as one line and exits with status 2.
// Argument parsing is the commands' own business, so it alone throws; what the
// commands call below cli/ reports failure as a Result (base/result.h).
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr int kExitUsage = 2;

// "-flag" and "--flag" are the same flag; returns the name without dashes, or
// nullopt for an argument that is not a flag.
std::optional<std::string> flagName(const std::string& arg);

}  // namespace orbelune::cli
