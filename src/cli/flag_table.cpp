#include "cli/flag_table.h"

#include "bundle_info.h"

namespace orbelune::cli {

Asked askedFor(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-help" || arg == "-h") return Asked::Help;
    if (arg == "--version" || arg == "-version") return Asked::Version;
  }
  return Asked::Run;
}

void printVersion(std::ostream& out) { out << "orbelune " << kVersion << "\n" << kCopyrightNotice; }

std::optional<int> answerHelpOrVersion(const std::vector<std::string>& args, std::ostream& out,
                                       const std::function<void(std::ostream&)>& printHelp) {
  switch (askedFor(args)) {
    case Asked::Help: printHelp(out); return 0;
    case Asked::Version: printVersion(out); return 0;
    case Asked::Run: break;
  }
  return std::nullopt;
}

namespace detail {

void refuse(const std::string& arg, const std::string& seeHelp) {
  throw UsageError("unknown flag " + shown(arg) + " (see " + seeHelp + ")");
}

void printRow(std::ostream& out, const char* name, const char* value, const char* help, std::size_t column) {
  std::string left = std::string("  --") + name + (value ? std::string(" ") + value : "");
  const std::string indent(column, ' ');
  if (left.size() + 1 > column) left += "\n" + indent;
  else left.resize(column, ' ');
  out << left;
  for (const char* c = help; *c; ++c) {
    out << *c;
    if (*c == '\n') out << indent;
  }
  out << "\n";
}

}  // namespace detail
}  // namespace orbelune::cli
