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

// A user's argument as a message quotes it: in single quotes, control
// characters and bytes that are no UTF-8 escaped (an argument cannot move the
// cursor or forge a line), and cut after 64 bytes with an ellipsis.
std::string shown(const std::string& argument);

// "-flag" and "--flag" are the same flag; returns the name without dashes, or
// nullopt for an argument that is not a flag.
std::optional<std::string> flagName(const std::string& arg);

}  // namespace orbelune::cli
