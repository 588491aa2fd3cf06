#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace orbelune {

// The saver itself: an XScreenSaver hack on Xlib. Returns the exit status.
int runSaverCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void printSaverHelp(std::ostream& out);

}  // namespace orbelune
