// orbelune: the saver, the headless renderer and the settings tool in one program.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/defaults_command.h"
#include "cli/flag_table.h"
#include "cli/idle_command.h"
#include "cli/lock_command.h"
#include "cli/render_command.h"
#include "cli/saver_command.h"
#include "cli/saver_options.h"
#include "cli/xscreensaver_register.h"
#include "base/resource_locator.h"

namespace {

void printHelp(std::ostream& out) {
  out << "usage: orbelune [SAVER FLAGS]\n"
         "       orbelune render [RENDER FLAGS]\n"
         "       orbelune idle [--after DURATION] [--verbose]\n"
         "       orbelune lock [--verbose]\n"
         "       orbelune defaults VERB ...\n"
         "       orbelune presets\n"
         "\n"
         "Orbelune draws a living Lissajous figure: two sine oscillators, one per axis,\n"
         "traced as a fading trail.\n"
         "\n"
         "  render     a deterministic headless run to PNG and JSON (orbelune render --help)\n"
         "  idle       show the figure whenever the session goes idle (orbelune idle --help)\n"
         "  lock       lock the session with the figure on it (orbelune lock --help)\n"
         "  xscreensaver-register [--unregister]\n"
         "             add Orbelune to (remove it from) the programs in ~/.xscreensaver\n"
         "  defaults   read and change the stored settings (orbelune defaults --help)\n"
         "  presets    the named figures --preset NAME draws, each with a few words\n"
         "  --data-dir the folder its data files are found in\n"
         "  --help     this text\n"
         "  --version  the version\n";
}

void printPresetsHelp(std::ostream& out) {
  out << "usage: orbelune presets\n\n"
         "The named figures --preset NAME draws, each with a few words, one a line.\n";
}

int runPresets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (auto answered = orbelune::cli::answerHelpOrVersion(args, out, printPresetsHelp)) return *answered;
  if (!args.empty()) {
    err << "orbelune presets: takes no arguments\n";
    return orbelune::cli::kExitUsage;
  }
  orbelune::printPresets(out);
  return 0;
}

// The commands named by the first argument; any other line runs the saver.
struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr Command kCommands[] = {
    {"defaults", orbelune::runDefaultsCommand},
    {"idle", orbelune::runIdleCommand},
    {"lock", orbelune::runLockCommand},
    {"render", orbelune::runRenderCommand},
    {"presets", runPresets},
    {"xscreensaver-register", orbelune::runXScreenSaverRegister},
};

int run(const std::vector<std::string>& args) {
  for (const auto& command : kCommands) {
    if (!args.empty() && args[0] == command.name) return command.run({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "--data-dir") return orbelune::printDataDirectory("orbelune", std::cout, std::cerr);
  auto printAll = [](std::ostream& out) {
    printHelp(out);
    out << "\n";
    orbelune::printSaverHelp(out);
  };
  if (auto answered = orbelune::cli::answerHelpOrVersion(args, std::cout, printAll)) return *answered;
  return orbelune::runSaverCommand(args, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  int status = run({argv + 1, argv + argc});
  // Output that did not reach its file (a full disk, /dev/full, a closed pipe)
  // is a failure, not a success.
  errno = 0;
  std::cout.flush();
  if (!std::cout && status == 0) {
    std::cerr << "orbelune: cannot write the output" << (errno ? std::string(": ") + std::strerror(errno) : "") << "\n";
    status = 1;
  }
  return status;
}
