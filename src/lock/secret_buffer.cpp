#include "lock/secret_buffer.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace orbelune {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

SecretBuffer::SecretBuffer() {
  const long page = sysconf(_SC_PAGESIZE);
  const std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
  mapped_ = (kCapacity + 1 + pageSize - 1) / pageSize * pageSize;
  void* pages = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    mapped_ = 0;
    return;
  }
  data_ = static_cast<char*>(pages);
  // Kept out of core dumps and out of a forked child's copy of memory.
  madvise(data_, mapped_, MADV_DONTDUMP);
  madvise(data_, mapped_, MADV_DONTFORK);
  locked_ = mlock(data_, mapped_) == 0;
}

SecretBuffer::~SecretBuffer() {
  if (!data_) return;
  explicit_bzero(data_, mapped_);
  if (locked_) munlock(data_, mapped_);
  munmap(data_, mapped_);
}

bool SecretBuffer::append(std::string_view utf8) {
  if (!data_ || utf8.size() > kCapacity - size_) return false;
  memcpy(data_ + size_, utf8.data(), utf8.size());
  size_ += utf8.size();
  return true;
}

void SecretBuffer::eraseLast() {
  while (size_ > 0) {
    --size_;
    const bool lead = !isContinuationByte(data_[size_]);
    data_[size_] = '\0';
    if (lead) break;
  }
}

void SecretBuffer::clear() {
  if (data_) explicit_bzero(data_, mapped_);
  size_ = 0;
}

std::size_t SecretBuffer::characters() const {
  std::size_t count = 0;
  for (std::size_t i = 0; i < size_; ++i) {
    if (!isContinuationByte(data_[i])) ++count;
  }
  return count;
}

void SecretBuffer::setSize(std::size_t size) {
  if (!data_) return;
  size_ = size <= kCapacity ? size : kCapacity;
  explicit_bzero(data_ + size_, mapped_ - size_);
}

}  // namespace orbelune
