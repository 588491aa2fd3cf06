#pragma once
#include <X11/Xlib.h>

#include <memory>
#include <utility>

namespace orbelune {

// A connection to the X server, closed with its holder.
struct DisplayClose {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayClose>;

// A window this program created, destroyed with its holder. Empty for a
// window another client owns.
class CreatedWindow {
 public:
  CreatedWindow() = default;
  CreatedWindow(Display* display, Window window) : display_(display), window_(window) {}
  ~CreatedWindow() {
    if (window_) XDestroyWindow(display_, window_);
  }
  CreatedWindow(CreatedWindow&& other) noexcept
      : display_(other.display_), window_(std::exchange(other.window_, 0)) {}
  CreatedWindow& operator=(CreatedWindow&& other) noexcept {
    if (this != &other) {
      this->~CreatedWindow();
      display_ = other.display_;
      window_ = std::exchange(other.window_, 0);
    }
    return *this;
  }
  Window get() const { return window_; }
  // The server destroyed it already: nothing is left to destroy.
  void forget() { window_ = 0; }

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
};

}  // namespace orbelune
