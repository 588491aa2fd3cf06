#pragma once
// One argument of a desktop entry's Exec key, written so that every reader of
// the format gets it back as it is.
#include <string>
#include <string_view>

#include "base/result.h"

namespace orbelune {

// `argument` as Exec holds it: in double quotes with `"`, `` ` `` and `$`
// escaped by a backslash (the format's quoting rule), and then every backslash
// doubled (Exec is a string, whose own escape `\\` is undone first), so that
// desktop-file-validate, GLib and systemd's autostart generator all read it
// back. Refused, with the reason, when no entry can hold it for all of them:
// not UTF-8, a control character (a newline would end the line), a backslash
// or a '%'.
Result<std::string> desktopExecArgument(std::string_view argument);

}  // namespace orbelune
