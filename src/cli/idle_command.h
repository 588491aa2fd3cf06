#pragma once
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orbelune {

// orbelune idle: waits until the session has been idle for the chosen time,
// shows the figure on every monitor, hides it on input, and waits again.
int runIdleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void printIdleHelp(std::ostream& out);

// A duration as --after takes it: "30s", "5m", "1h", or a bare number of
// minutes; from 1 second to 24 hours. Seconds, or nullopt.
std::optional<double> parseDuration(const std::string& text);

}  // namespace orbelune
