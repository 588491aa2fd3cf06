#include "cli/xscreensaver_register.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "cli/cli.h"
#include "cli/flag_table.h"
#include "store/atomic_file.h"

namespace orbelune {
namespace fs = std::filesystem;
namespace xss {
namespace {

// Lines with their line ends, so the file can be put back together byte for byte.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l;
  return text;
}

bool continues(const std::string& line) {
  std::string s = line;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return !s.empty() && s.back() == '\\';
}

struct ProgramsList {
  std::size_t header;  // the "programs:" line
  std::size_t last;    // the list's last line (the first that does not continue)
};

// Finds the list named `name` ("programs:" or "*programs:").
std::optional<ProgramsList> findList(const std::vector<std::string>& lines, const std::string& name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::size_t p = lines[i].find_first_not_of(" \t");
    if (p == std::string::npos || lines[i].compare(p, name.size(), name) != 0) continue;
    std::size_t last = i;
    while (continues(lines[last])) {
      if (++last >= lines.size()) return std::nullopt;  // a list running off the end of the file
    }
    return ProgramsList{i, last};
  }
  return std::nullopt;
}

// Whether a list line runs orbelune: [-] [visual:] ["Name"] command ...
bool runsOrbelune(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\\' || line.back() == '\r')) line.pop_back();
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\\n") == 0) line.resize(line.size() - 2);
  std::istringstream in(line);
  std::string word;
  if (!(in >> word)) return false;
  if (word == "-") {
    if (!(in >> word)) return false;
  } else if (word[0] == '-' && word.size() > 1) {
    word = word.substr(1);
  }
  if (word.back() == ':' && word[0] != '"') {
    if (!(in >> word)) return false;
  }
  if (word[0] == '"') {
    std::string rest;
    std::getline(in, rest);
    std::string all = word + rest;
    std::size_t close = all.find('"', 1);
    if (close == std::string::npos) return false;
    std::istringstream cmd(all.substr(close + 1));
    if (!(cmd >> word)) return false;
  }
  return fs::path(word).filename() == "orbelune";
}

bool isText(const std::string& text) { return text.find('\0') == std::string::npos; }

// The line end of `line` ("\r\n", "\n" or none), and the line without it.
std::string lineEnd(const std::string& line) {
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) return "\r\n";
  if (!line.empty() && line.back() == '\n') return "\n";
  return "";
}
std::string withoutLineEnd(const std::string& line) { return line.substr(0, line.size() - lineEnd(line).size()); }

// The entry line, ending the list or continuing it, with the file's line end.
std::string entryLine(bool continued, const std::string& eol) {
  std::string entry = withoutLineEnd(kEntryLine);  // ... \n\ (a continued entry)
  if (!continued) entry.pop_back();
  return entry + (eol.empty() ? "\n" : eol);
}

// What a one-line list's header gains to continue onto the entry's line.
constexpr const char* kHeaderContinuation = " \\n\\";

}  // namespace

std::optional<std::string> addEntry(const std::string& text, bool& already) {
  already = false;
  if (!isText(text)) return std::nullopt;
  auto lines = splitLines(text);
  auto list = findList(lines, "programs:");
  if (!list) return std::nullopt;
  for (std::size_t i = list->header; i <= list->last; ++i) {
    if (i > list->header && runsOrbelune(lines[i])) {
      already = true;
      return text;
    }
  }
  std::string& h = lines[list->header];
  const std::string eol = lineEnd(h);
  if (!continues(h)) {
    // A list on one line: continue it onto the entry's line, which ends the list.
    // A file without a final line end keeps none.
    h = withoutLineEnd(h) + kHeaderContinuation + (eol.empty() ? "\n" : eol);
    std::string entry = entryLine(false, eol);
    if (eol.empty()) entry.pop_back();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list->header) + 1, entry);
    return joinLines(lines);
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list->header) + 1, entryLine(true, eol));
  return joinLines(lines);
}

std::optional<std::string> removeEntry(const std::string& text, bool& found) {
  found = false;
  if (!isText(text)) return std::nullopt;
  auto lines = splitLines(text);
  auto list = findList(lines, "programs:");
  if (!list) return std::nullopt;
  for (std::size_t i = list->last; i > list->header; --i) {
    if (!runsOrbelune(lines[i])) continue;
    found = true;
    if (i == list->last) {
      // The list's last line goes: the line before it now ends the list. A
      // header that was continued only for the entry is one line again, as it was.
      std::string& prev = lines[i - 1];
      const std::string eol = i == list->last ? lineEnd(lines[i]) : lineEnd(prev);
      std::string body = withoutLineEnd(prev);
      const std::string added = kHeaderContinuation;
      if (i - 1 == list->header && body.size() >= added.size() &&
          body.compare(body.size() - added.size(), added.size(), added) == 0) {
        body.resize(body.size() - added.size());
      } else if (std::size_t bs = body.find_last_of('\\'); bs != std::string::npos) {
        body.erase(bs, 1);
      }
      prev = body + eol;
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    --list->last;
  }
  return joinLines(lines);
}

std::string newFile(const std::optional<std::string>& appDefaults) {
  std::string text = "# Written by orbelune xscreensaver-register; XScreenSaver keeps its other\n"
                     "# settings here once they are changed in xscreensaver-settings.\n"
                     "programs:\t\t\t\t\t\t\t\t      \\\n";
  if (appDefaults) {
    auto lines = splitLines(*appDefaults);
    if (auto list = findList(lines, "*programs:")) {
      std::string body;
      for (std::size_t i = list->header + 1; i <= list->last; ++i) body += lines[i];
      if (list->last > list->header) return text + kEntryLine + body;
    }
  }
  std::string entry = kEntryLine;
  entry.erase(entry.size() - 2, 1);
  return text + entry;
}

}  // namespace xss

namespace {

Result<std::string> readFile(const fs::path& path) {
  auto file = atomic_file::read(path);
  if (!file) return file.error();
  if (!*file) return Error{path.string() + ": no such file"};
  return std::move(**file);
}

}  // namespace

void printRegisterHelp(std::ostream& out) {
  out << "usage: orbelune xscreensaver-register [--unregister]\n\n"
         "Adds Orbelune to the programs list in ~/.xscreensaver (or removes it), keeping\n"
         "the rest of the file as it is; the old file is kept as ~/.xscreensaver.orbelune.bak.\n";
}

int runXScreenSaverRegister(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (auto answered = cli::answerHelpOrVersion(args, out, printRegisterHelp)) return *answered;
  bool unregister = false;
  for (const auto& a : args) {
    auto name = cli::flagName(a);
    if (name && *name == "unregister") {
      unregister = true;
    } else {
      err << "orbelune xscreensaver-register: unexpected argument " << cli::shown(a) << " (only --unregister)\n";
      return cli::kExitUsage;
    }
  }
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    err << "orbelune xscreensaver-register: HOME is not set\n";
    return 1;
  }
  const fs::path file = fs::path(home) / ".xscreensaver";
  const fs::path backup = file.string() + ".orbelune.bak";
  std::error_code ec;
  const bool exists = fs::exists(file, ec) || fs::is_symlink(file, ec);

  std::string text;
  if (exists) {
    auto read = readFile(file);
    if (!read) {
      err << "orbelune xscreensaver-register: " << read.error().message << "\n";
      return 1;
    }
    text = std::move(*read);
  }
  if (exists) {
    // A file the user made read-only is one they do not want changed.
    auto perms = fs::status(file, ec).permissions();
    if (!ec && (perms & fs::perms::owner_write) == fs::perms::none) {
      err << "orbelune xscreensaver-register: " << file.string() << " is read-only; it is left as it is\n";
      return 1;
    }
  }
  std::string updated;
  if (unregister) {
    if (!exists) {
      out << "Orbelune is not registered: there is no " << file.string() << "\n";
      return 0;
    }
    bool found = false;
    auto result = xss::removeEntry(text, found);
    if (!result) {
      err << "orbelune xscreensaver-register: cannot find a programs list in " << file.string()
          << "; the file is left as it is\n";
      return 1;
    }
    if (!found) {
      out << "Orbelune is not in the programs list of " << file.string() << "\n";
      return 0;
    }
    updated = *result;
  } else if (exists) {
    bool already = false;
    auto result = xss::addEntry(text, already);
    if (!result) {
      err << "orbelune xscreensaver-register: cannot find a programs list in " << file.string()
          << "; the file is left as it is (open xscreensaver-settings once, then try again)\n";
      return 1;
    }
    if (already) {
      out << "Orbelune is already in the programs list of " << file.string() << "\n";
      return 0;
    }
    updated = *result;
  } else {
    const char* env = std::getenv("ORBELUNE_XSCREENSAVER_DEFAULTS");
    fs::path defaults = env && *env ? fs::path(env) : fs::path("/etc/X11/app-defaults/XScreenSaver");
    auto appDefaults = readFile(defaults);
    updated = xss::newFile(appDefaults ? std::optional<std::string>(std::move(*appDefaults)) : std::nullopt);
  }

  if (auto written = atomic_file::write(file, updated, {exists ? backup : fs::path(), 0666}); !written) {
    err << "orbelune xscreensaver-register: " << written.error().message << "; the old file is unchanged\n";
    return 1;
  }
  if (unregister) {
    out << "Removed Orbelune from the programs list of " << file.string() << " (the old file is kept as "
        << backup.string() << ")\n";
  } else if (exists) {
    out << "Added Orbelune to the programs list of " << file.string() << " (the old file is kept as "
        << backup.string() << "); pick it in xscreensaver-settings\n";
  } else {
    out << "Created " << file.string() << " with Orbelune in its programs list; pick it in xscreensaver-settings\n";
  }
  return 0;
}

}  // namespace orbelune
