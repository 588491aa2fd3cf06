// The ~/.xscreensaver editor on any text: adding the entry and removing it
// again gives back the same bytes, and an added entry is found again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/xscreensaver_register.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orbelune::xss;
  const std::string text(reinterpret_cast<const char*>(data), size);
  bool already = false;
  auto added = addEntry(text, already);
  if (!added || already) return 0;
  bool found = false;
  auto again = addEntry(*added, found);
  if (!again || !found || *again != *added) std::abort();
  auto removed = removeEntry(*added, found);
  if (!removed || !found || *removed != text) std::abort();
  return 0;
}
