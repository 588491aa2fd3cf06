#pragma once
#include <cairo.h>

#include <memory>

namespace orbelune {

// A Cairo surface owned by one holder: destroyed with it.
struct CairoSurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;

// An image surface of the format and size, or an empty holder when Cairo cannot
// make one (out of memory, a size it refuses).
inline CairoSurface makeImageSurface(cairo_format_t format, int width, int height) {
  CairoSurface surface(cairo_image_surface_create(format, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) surface.reset();
  return surface;
}

}  // namespace orbelune
