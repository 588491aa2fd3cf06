#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace orbelune {

// `orbelune defaults VERB ...`: read and change the settings store from the shell.
int runDefaultsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void printDefaultsHelp(std::ostream& out);

}  // namespace orbelune
