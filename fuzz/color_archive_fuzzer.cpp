// Both colour decoders on any bytes: no crash, and a colour that decodes
// archives and decodes again to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "store/color_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orbelune;
  const Bytes bytes(data, data + size);
  if (auto c = KeyedUnarchiver::unarchiveColor(bytes)) {
    if (KeyedUnarchiver::unarchiveColor(KeyedArchiver::archive(*c)) != c) std::abort();
  }
  if (auto c = Unarchiver::unarchive(bytes)) {
    if (Unarchiver::unarchive(Archiver::archive(*c)) != c) std::abort();
  }
  return 0;
}
