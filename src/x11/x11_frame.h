#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"

namespace orbelune {

// The off-screen picture of one window: a Cairo image surface in memory the X
// server can read directly (MIT-SHM) where it offers that, else a client-side
// XImage sent with XPutImage. On a TrueColor visual of another layout (16-bit
// 565, 15-bit, 30-bit 10-10-10) the frame is drawn in a picture of Cairo's
// own and what changed is converted into the window's pixels before it is sent. Every frame is composed here and shown at once, so
// nothing half-drawn ever reaches the screen, and only the pixels the frame
// changed are sent. The server reads shared memory after the request, so the
// picture is not drawn into again until it says it has finished (ShmCompletion).
class X11Frame {
 public:
  enum class Transfer {
    SharedMemoryWhereOffered,  // MIT-SHM when the server offers it, else XPutImage
    PutImage,                  // always XPutImage (to measure one against the other)
  };
  X11Frame(Display* display, Window window, Visual* visual, int depth,
           Transfer transfer = Transfer::SharedMemoryWhereOffered);
  ~X11Frame();
  X11Frame(const X11Frame&) = delete;
  X11Frame& operator=(const X11Frame&) = delete;

  // (Re)allocates the picture for a window of this size, or says why it cannot.
  Result<void> resize(int width, int height);
  // The picture to draw the next frame into, once the server has read the last one.
  CairoGraphics& graphics();
  // Copies what changed since the last present to the window. The requests
  // go out with the caller's next flush (one for all of its windows).
  void present();
  // Copies the whole picture to the window (it was exposed).
  void presentAll();
  // Every event for the window passes here first: the server's word that it
  // has read the picture arrives as one. True when the event was that.
  bool takeEvent(const XEvent& event);
  // The pixels the last present sent (for benchmarks and tests).
  long long lastPresentedArea() const { return lastPresentedArea_; }
  bool usesSharedMemory() const { return shm_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // Whether a visual's pixels have Cairo's RGB24 layout (32 bits, 8 per channel).
  static bool visualMatchesCairo(Display* display, Visual* visual, int depth);
  // Whether a frame can show on the visual at all: Cairo's layout, or another
  // TrueColor one it converts to (not PseudoColor or other colour maps).
  static bool canDrawOn(Visual* visual, int depth);

 private:
  // A clip list of more rectangles than this (8 bytes each) is not worth
  // sending: the frame then goes as one box.
  static constexpr std::size_t kMostClipRectangles = 65536;

  void release();
  void send(const std::vector<PixelBox>& boxes);
  // Converted frames: the boxes' pixels from Cairo's picture into the window's.
  void convert(const std::vector<PixelBox>& boxes);
  void waitForCompletion();
  bool allocateShared(int width, int height);
  bool allocatePlain(int width, int height);

  Display* display_;
  Window window_;
  Visual* visual_;
  int depth_;
  GC gc_;
  XImage* image_ = nullptr;
  bool converted_;                      // the window's pixels are not Cairo's layout
  std::vector<unsigned char> drawn_;    // converted frames: Cairo's picture
  XShmSegmentInfo shmInfo_{};
  bool shm_ = false;
  bool shmAvailable_;
  CairoSurface surface_;
  std::unique_ptr<CairoGraphics> graphics_;  // after the surface it draws on
  int width_ = 0;
  int height_ = 0;
  int completionEvent_ = -1;  // the ShmCompletion event type
  bool awaitingCompletion_ = false;
  long long lastPresentedArea_ = 0;
};

}  // namespace orbelune
