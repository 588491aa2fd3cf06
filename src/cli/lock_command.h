#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace orbelune {

void printLockHelp(std::ostream& out);
// `orbelune lock`: 0 only once the user unlocked; 1 when the session could
// not be locked (refused, said in one line) or the lock ended otherwise; 2
// for a usage error.
int runLockCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orbelune
