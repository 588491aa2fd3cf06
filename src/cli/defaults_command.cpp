#include "cli/defaults_command.h"

#include <ostream>
#include <sstream>

#include "bundle_info.h"
#include "cli/cli.h"
#include "cli/flag_table.h"
#include "store/color_archive.h"
#include "base/number_text.h"
#include "base/printable_text.h"
#include "host/store_warnings.h"
#include "store/screen_saver_defaults.h"
#include "settings/settings_keys.h"

namespace orbelune {
namespace {

bool isKeyedKey(const std::string& key) { return key.rfind(keys::kKeyedPrefix, 0) == 0; }

std::optional<Color> decodeColor(const std::string& key, const Bytes& data) {
  return isKeyedKey(key) ? KeyedUnarchiver::unarchiveColor(data) : Unarchiver::unarchive(data);
}

DefaultsValue parseWriteValue(const std::string& key, const std::string& type, const std::string& text) {
  using cli::UsageError;
  if (type == "int") {
    auto v = parseInteger(text);
    if (!v) throw UsageError("-int needs a whole number, not " + cli::shown(text));
    return static_cast<std::int64_t>(*v);
  }
  if (type == "float") {
    auto v = parseNumber(text);
    if (!v) throw UsageError("-float needs a finite number; " + cli::shown(text) + " " + describe(v.error()));
    return *v;
  }
  if (type == "bool") {
    if (text == "true" || text == "yes" || text == "1") return true;
    if (text == "false" || text == "no" || text == "0") return false;
    throw UsageError("-bool needs true or false, not " + cli::shown(text));
  }
  if (type == "data") {
    Bytes b;
    if (!fromHex(text, b)) throw UsageError("-data needs an even number of hex digits, not " + cli::shown(text));
    return b;
  }
  if (type == "color") {
    double comps[4];
    std::stringstream ss(text);
    std::string part;
    int count = 0;
    while (std::getline(ss, part, ',')) {
      auto v = parseNumber(part);
      if (count >= 4 || !v || *v < 0.0 || *v > 1.0) {
        throw UsageError("-color needs R,G,B,A, four numbers from 0 to 1, not " + cli::shown(text));
      }
      comps[count++] = *v;
    }
    if (count != 4 || text.back() == ',') {
      throw UsageError("-color needs R,G,B,A, four numbers from 0 to 1, not " + cli::shown(text));
    }
    Color c{comps[0], comps[1], comps[2], comps[3]};
    return isKeyedKey(key) ? KeyedArchiver::archive(c) : Archiver::archive(c);
  }
  throw UsageError("unknown value type -" + type + " (use -int, -float, -bool, -data or -color)");
}

void expectArgs(const std::vector<std::string>& args, std::size_t n, const char* usage) {
  if (args.size() != n) throw cli::UsageError(std::string("usage: orbelune defaults ") + usage);
}

// Writes the store's file: the verb's status, 1 with the reason said when it cannot.
int written(ScreenSaverDefaults& store, std::ostream& err) {
  auto w = store.synchronize();
  if (w) return 0;
  err << "orbelune defaults: cannot write " << store.file().string() << ": " << w.error().message << "\n";
  return 1;
}

int readAll(ScreenSaverDefaults& store, std::ostream& out) {
  // Keys and texts are shown escaped: what a file holds cannot forge a line.
  std::map<std::string, std::string> lines;
  for (const auto& [key, value] : store.storedValues()) lines[key] = printable(describeValue(value));
  for (const auto& [key, json] : store.unknownEntries()) lines[key] = printable(json);
  for (const auto& [key, text] : lines) out << printable(key) << " = " << text << "\n";
  return 0;
}

int readOne(ScreenSaverDefaults& store, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1) return readAll(store, out);
  expectArgs(args, 2, "read [KEY]");
  auto v = store.storedValue(args[1]);
  auto unknown = store.unknownEntries().find(args[1]);
  if (!v && unknown == store.unknownEntries().end()) {
    err << "orbelune defaults: " << printable(args[1]) << " is not stored\n";
    return 1;
  }
  // An entry of a type this program does not know prints as its JSON.
  out << printable(v ? describeValue(*v) : unknown->second) << "\n";
  return 0;
}

int readColor(ScreenSaverDefaults& store, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  expectArgs(args, 2, "read-color KEY");
  auto v = store.storedValue(args[1]);
  const Bytes* data = v ? std::get_if<Bytes>(&*v) : nullptr;
  auto c = data ? decodeColor(args[1], *data) : std::nullopt;
  if (!c) {
    err << "orbelune defaults: " << printable(args[1]) << (v ? " does not hold a colour\n" : " is not stored\n");
    return 1;
  }
  out << formatReal(c->red) << " " << formatReal(c->green) << " " << formatReal(c->blue) << " "
      << formatReal(c->alpha) << "\n";
  return 0;
}

int write(ScreenSaverDefaults& store, const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  expectArgs(args, 4, "write KEY -int N | -float X | -bool true|false | -data HEX | -color R,G,B,A");
  auto type = cli::flagName(args[2]);
  if (!type) throw cli::UsageError("expected a value type such as -float before " + cli::shown(args[3]));
  DefaultsValue value = parseWriteValue(args[1], *type, args[3]);
  if (args[1].empty()) throw cli::UsageError("the key must not be empty");
  if (!isValidUtf8(args[1])) throw cli::UsageError("the key must be UTF-8 text, not " + cli::shown(args[1]));
  store.setObject(value, args[1]);
  return written(store, err);
}

int remove(ScreenSaverDefaults& store, const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  expectArgs(args, 2, "delete KEY");
  if (!store.contains(args[1])) {
    err << "orbelune defaults: " << printable(args[1]) << " is not stored\n";
    return 1;
  }
  store.remove(args[1]);
  return written(store, err);
}

// The verbs, as the first argument names them; each gets the whole line.
struct Verb {
  const char* name;
  int (*run)(ScreenSaverDefaults& store, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr Verb kVerbs[] = {{"read", readOne}, {"read-color", readColor}, {"write", write}, {"delete", remove}};

}  // namespace

void printDefaultsHelp(std::ostream& out) {
  out << "usage: orbelune defaults VERB [KEY] [VALUE]\n"
         "\n"
         "Reads and changes the settings store, "
      << ScreenSaverDefaults::fileForModule(kBundleIdentifier).string()
      << "\n"
         "\n"
         "  read                 every stored key, KEY = VALUE a line, sorted by key\n"
         "  read KEY             the stored value alone (exit 1 if the key is not stored)\n"
         "  read-color KEY       the stored colour as R G B A (Keyed_* keys in the keyed\n"
         "                       format, other keys in the legacy format; exit 1 if it\n"
         "                       does not decode)\n"
         "  write KEY -int N | -float X | -bool true|false | -data HEX | -color R,G,B,A\n"
         "                       store a value; -color archives in the key's format\n"
         "  delete KEY           remove a stored key (exit 1 if it is not stored)\n"
         "\n"
         "Integers print as digits, reals in their shortest exact form, booleans as\n"
         "true/false, data as lowercase hex. Bad usage exits with status 2; a write that\n"
         "fails exits with status 1 and leaves the old file as it was.\n";
}

int runDefaultsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (auto answered = cli::answerHelpOrVersion(args, out, printDefaultsHelp)) return *answered;
  try {
    if (args.empty()) throw cli::UsageError("usage: orbelune defaults read|read-color|write|delete ... (see --help)");
    const Verb* verb = nullptr;
    for (const auto& v : kVerbs) {
      if (args[0] == v.name) verb = &v;
    }
    if (!verb) throw cli::UsageError("unknown verb " + cli::shown(args[0]) + " (use read, read-color, write or delete)");
    auto store = ScreenSaverDefaults::forModule(kBundleIdentifier);
    if (!store) {
      err << "orbelune defaults: there is no settings folder: neither XDG_CONFIG_HOME nor HOME is set, and the "
             "user has no home folder\n";
      return 1;
    }
    sayStoreWarnings(store.get(), err);
    return verb->run(*store, args, out, err);
  } catch (const cli::UsageError& e) {
    err << "orbelune defaults: " << e.what() << "\n";
    return cli::kExitUsage;
  }
}

}  // namespace orbelune
