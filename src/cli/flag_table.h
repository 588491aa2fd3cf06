#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace orbelune::cli {

// One flag of a command, as its table lists it: the name without dashes, what
// it takes (shown in --help and in the message when the value is missing;
// nullptr for a flag that takes none), its help text (lines after the first
// start with a newline), and what it does to the command's options with its
// value. `apply` throws UsageError for a value it cannot take.
template <class Options>
struct Flag {
  const char* name;
  const char* value;
  const char* needs;  // "--NAME needs ..." when the value is missing
  const char* help;
  void (*apply)(Options&, const std::string& value);
};

// What --help and --version ask for, wherever they stand on the line.
enum class Asked { Run, Help, Version };
Asked askedFor(const std::vector<std::string>& args);

// Prints the version and the copyright notice.
void printVersion(std::ostream& out);

// Answers --help (with `printHelp`) or --version if the line asks for one:
// the exit status then, else nullopt and the command runs.
std::optional<int> answerHelpOrVersion(const std::vector<std::string>& args, std::ostream& out,
                                       const std::function<void(std::ostream&)>& printHelp);

// Flags a command takes besides its table's: takes the flag at args[i] (and
// its values) if it is one of them, advancing i past them; false otherwise.
using MoreFlags = std::function<bool(const std::vector<std::string>& args, std::size_t& i)>;

namespace detail {
// Throws the UsageError for a flag no table holds.
[[noreturn]] void refuse(const std::string& arg, const std::string& seeHelp);
void printRow(std::ostream& out, const char* name, const char* value, const char* help, std::size_t column);
}  // namespace detail

// Reads `args` in order: each is a flag of `table` (followed by its value if
// it takes one) or one `more` takes; anything else is a UsageError naming it
// and pointing to `seeHelp` ("orbelune render --help"). Flags apply in order,
// so later ones win.
template <class Options>
void readFlags(const std::vector<std::string>& args, std::span<const Flag<Options>> table, Options& options,
               const std::string& seeHelp, const MoreFlags& more = nullptr) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto name = flagName(args[i]);
    if (!name) throw UsageError("unexpected argument " + shown(args[i]));
    if (std::size_t next = i; more && more(args, next)) {
      i = next - 1;
      continue;
    }
    const Flag<Options>* flag = nullptr;
    for (const auto& f : table) {
      if (*name == f.name) flag = &f;
    }
    if (!flag) detail::refuse(args[i], seeHelp);
    if (!flag->value) {
      flag->apply(options, std::string());
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError("--" + *name + " needs " + flag->needs);
    flag->apply(options, args[++i]);
  }
}

// The table as --help lists it: "  --name VALUE" and the help text from
// `column` on (on a line of its own when the flag is wider).
template <class Options>
void printFlags(std::ostream& out, std::span<const Flag<Options>> table, std::size_t column) {
  for (const auto& f : table) detail::printRow(out, f.name, f.value, f.help, column);
}

}  // namespace orbelune::cli
