#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace orbelune {

// `orbelune render`: a deterministic headless run on a virtual clock.
int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void printRenderHelp(std::ostream& out);

}  // namespace orbelune
