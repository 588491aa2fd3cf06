// The settings store read from any bytes, then rewritten: reading never
// crashes or hangs, a rewrite never loses an entry that was read, and the
// rewritten file reads back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "store/screen_saver_defaults.h"

namespace {
// A folder of the process's own for the store file, removed at exit.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orbelune-fuzz-XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};
const std::filesystem::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using orbelune::ScreenSaverDefaults;
  const auto file = scratchFolder() / "store.json";
  std::filesystem::remove_all(scratchFolder());
  std::filesystem::create_directories(scratchFolder());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  ScreenSaverDefaults store(file);  // a corrupt file's warnings stay with the store, unread
  const auto values = store.storedValues();
  const auto unknown = store.unknownEntries();
  for (const auto& [key, value] : values) {
    (void)store.integer(key), (void)store.real(key), (void)store.boolean(key);
  }
  store.setObject(std::int64_t{1}, "FuzzMarker");
  if (!store.synchronize()) std::abort();

  ScreenSaverDefaults again(file);
  for (const auto& [key, value] : values) {
    if (key != "FuzzMarker" && again.storedValue(key) != value) std::abort();
  }
  for (const auto& [key, json] : unknown) {
    if (key != "FuzzMarker" && !again.contains(key)) std::abort();
  }
  if (again.integer("FuzzMarker") != 1) std::abort();
  return 0;
}
