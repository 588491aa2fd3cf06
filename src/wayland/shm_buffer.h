#pragma once
// Wayland shared-memory buffers drawn by the Cairo backend.
//
// Does: one buffer is a memfd mapped here and shared with the compositor as a
// wl_buffer of ARGB8888 pixels (Cairo's ARGB32), with a CairoGraphics over it;
// a pool of two lets one be drawn while the compositor holds the other, and a
// buffer is handed out only once the compositor has released it.
// Does not: talk to outputs or surfaces, or pace frames (the host does).
#include <wayland-client.h>

#include <array>
#include <memory>
#include <string>

#include "base/result.h"
#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"

namespace orbelune {

class ShmBuffer {
 public:
  // A buffer of width x height device pixels, or why there is none.
  static Result<std::unique_ptr<ShmBuffer>> make(wl_shm* shm, int width, int height);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  bool busy() const { return busy_; }
  // Hands the buffer to the compositor until it releases it.
  wl_buffer* attachable();
  CairoGraphics& graphics() { return *graphics_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  ShmBuffer(int width, int height) : width_(width), height_(height) {}
  Result<void> allocate(wl_shm* shm);
  static void onRelease(void* data, wl_buffer* buffer);

  int width_, height_;
  void* pixels_ = nullptr;
  std::size_t size_ = 0;
  wl_buffer* buffer_ = nullptr;
  CairoSurface surface_;
  std::unique_ptr<CairoGraphics> graphics_;  // after the surface it draws on
  bool busy_ = false;
};

// Two buffers of one size, used in turn.
class ShmBufferPool {
 public:
  // The pool for width x height, (re)made when the size changes.
  Result<void> resize(wl_shm* shm, int width, int height);
  // A buffer the compositor does not hold, or nullptr when it holds both.
  ShmBuffer* free();

 private:
  std::array<std::unique_ptr<ShmBuffer>, 2> buffers_;
  int width_ = 0, height_ = 0;
};

}  // namespace orbelune
