#pragma once
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orbelune {

// `orbelune xscreensaver-register [--unregister]`: adds the saver to (or removes
// it from) the programs list of the user's ~/.xscreensaver, keeping every other
// byte of the file.
int runXScreenSaverRegister(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

namespace xss {

// The entry this command adds, as one line of the programs list.
inline constexpr const char* kEntryLine = "  \"Orbelune\"  orbelune --root \\n\\\n";

// The file's text with the entry added after the list's first line, or nullopt
// when the file has no programs list it can read. `already` tells that an entry
// running orbelune is there (the text then comes back unchanged).
std::optional<std::string> addEntry(const std::string& text, bool& already);
// The file's text without the entries running orbelune; nullopt when unreadable.
std::optional<std::string> removeEntry(const std::string& text, bool& found);
// A new file: the programs list of XScreenSaver's defaults (if given) with the entry.
std::string newFile(const std::optional<std::string>& appDefaults);

}  // namespace xss
}  // namespace orbelune
