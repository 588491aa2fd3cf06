#include "activation/desktop_exec.h"

#include "base/printable_text.h"

namespace orbelune {

Result<std::string> desktopExecArgument(std::string_view argument) {
  if (!isValidUtf8(argument)) {
    return Error{"the path " + printable(argument) + " is not UTF-8, which an autostart entry cannot hold"};
  }
  for (unsigned char c : argument) {
    if (c < 0x20 || c == 0x7F) {
      return Error{"the path " + printable(argument) +
                   " holds a control character (such as a newline), which an autostart entry cannot hold"};
    }
  }
  // systemd's autostart generator (Debian 12) undoes one level of backslashes
  // more than GLib does, and GLib looks for the program with "%%" not undone:
  // no spelling of either gives all readers the same path.
  for (char c : argument) {
    if (c == '\\' || c == '%') {
      return Error{"the path " + printable(argument) + " holds a '" + std::string(1, c) +
                   "', which not every reader of an autostart entry takes back; install the program where its "
                   "path holds neither '\\' nor '%'"};
    }
  }
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  // Exec is a string: its own escape turns "\\" into the backslash the quoting wants.
  std::string escaped;
  for (char c : quoted) {
    escaped += c;
    if (c == '\\') escaped += '\\';
  }
  return escaped;
}

}  // namespace orbelune
