#pragma once
#include <cstddef>
#include <string_view>

namespace orbelune {

// Holds a typed password: one fixed block of its own pages, locked in memory
// (never swapped out), left out of core dumps, and wiped with explicit_bzero
// whenever it is cleared and before it is given back. It never grows, so no
// copy of its bytes is left behind in freed memory; what does not fit is
// refused.
class SecretBuffer {
 public:
  // The most bytes a password may have; longer input is refused.
  static constexpr std::size_t kCapacity = 1024;

  SecretBuffer();
  ~SecretBuffer();
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  // False when the pages could not be had; such a buffer refuses every byte.
  bool usable() const { return data_ != nullptr; }
  // True when the pages are locked in memory (mlock may be refused by limits;
  // the buffer is then still wiped, and the caller may say so).
  bool locked() const { return locked_; }

  // Appends the bytes of one typed character (UTF-8); false, changing
  // nothing, when they do not fit.
  bool append(std::string_view utf8);
  // Removes the last character (all bytes of its UTF-8 sequence).
  void eraseLast();
  // Wipes every byte.
  void clear();

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The number of characters (UTF-8 sequences), for the dots the prompt shows.
  std::size_t characters() const;
  // The bytes, always followed by a NUL (the block has room for one more
  // byte than kCapacity), so they can be handed on as a C string.
  const char* data() const { return data_; }
  // Writable storage of kCapacity bytes for receiving a password in one read;
  // the caller then sets the length it received with setSize.
  char* storage() { return data_; }
  // Sets the length (at most kCapacity) and wipes every byte after it.
  void setSize(std::size_t size);

 private:
  char* data_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t size_ = 0;
  bool locked_ = false;
};

}  // namespace orbelune
