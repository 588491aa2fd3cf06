#include "wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orbelune {

Result<std::unique_ptr<ShmBuffer>> ShmBuffer::make(wl_shm* shm, int width, int height) {
  std::unique_ptr<ShmBuffer> buffer(new ShmBuffer(width, height));
  if (auto made = buffer->allocate(shm); !made) return made.error();
  return buffer;
}

Result<void> ShmBuffer::allocate(wl_shm* shm) {
  const int width = width_, height = height_;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  size_ = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  const int fd = memfd_create("orbelune-frame", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size_)) != 0) {
    Error failure{std::string("cannot make a shared picture: ") + std::strerror(errno)};
    if (fd >= 0) close(fd);
    return failure;
  }
  pixels_ = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels_ == MAP_FAILED) {
    pixels_ = nullptr;
    Error failure{std::string("cannot map a shared picture: ") + std::strerror(errno)};
    close(fd);
    return failure;
  }
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size_));
  buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  static const wl_buffer_listener listener{onRelease};
  wl_buffer_add_listener(buffer_, &listener, this);
  surface_.reset(cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels_), CAIRO_FORMAT_ARGB32, width,
                                                     height, stride));
  graphics_ = std::make_unique<CairoGraphics>(surface_.get());
  return {};
}

ShmBuffer::~ShmBuffer() {
  graphics_.reset();
  surface_.reset();
  if (buffer_) wl_buffer_destroy(buffer_);
  if (pixels_) munmap(pixels_, size_);
}

wl_buffer* ShmBuffer::attachable() {
  cairo_surface_flush(surface_.get());
  busy_ = true;
  return buffer_;
}

void ShmBuffer::onRelease(void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy_ = false; }

Result<void> ShmBufferPool::resize(wl_shm* shm, int width, int height) {
  if (width == width_ && height == height_ && buffers_[0]) return {};
  width_ = width;
  height_ = height;
  for (auto& b : buffers_) {
    auto made = ShmBuffer::make(shm, width, height);
    if (!made) {
      for (auto& each : buffers_) each.reset();
      return made.error();
    }
    b = std::move(*made);
  }
  return {};
}

ShmBuffer* ShmBufferPool::free() {
  for (auto& b : buffers_) {
    if (b && !b->busy()) return b.get();
  }
  return nullptr;
}

}  // namespace orbelune
