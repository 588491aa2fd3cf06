// orbelune: the saver, the headless renderer and the settings tool in one program.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bundle_info.h"
#include "cli/defaults_command.h"
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

int run(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "defaults") {
    return orbelune::runDefaultsCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "idle") {
    return orbelune::runIdleCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "lock") {
    return orbelune::runLockCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "render") {
    return orbelune::runRenderCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "presets") {
    if (args.size() > 1) {
      std::cerr << "orbelune presets: takes no arguments\n";
      return 2;
    }
    orbelune::printPresets(std::cout);
    return 0;
  }
  if (!args.empty() && args[0] == "xscreensaver-register") {
    return orbelune::runXScreenSaverRegister({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (!args.empty() && (args[0] == "--help" || args[0] == "-help" || args[0] == "-h")) {
    printHelp(std::cout);
    std::cout << "\n";
    orbelune::printSaverHelp(std::cout);
    return 0;
  }
  if (!args.empty() && args[0] == "--data-dir") return orbelune::printDataDirectory("orbelune", std::cout, std::cerr);
  if (!args.empty() && (args[0] == "--version" || args[0] == "-version")) {
    std::cout << "orbelune " << orbelune::kVersion << "\n" << orbelune::kCopyrightNotice;
    return 0;
  }
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
