#include "x11/x11_frame.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <poll.h>
#include <sys/shm.h>

#include <cstdint>
#include <cstring>

namespace orbelune {
namespace {
// XShmAttach reports failure (a remote display, say) through an X error, not a
// return value: catch it while attaching.
bool g_attachFailed = false;
int catchAttachError(Display*, XErrorEvent*) {
  g_attachFailed = true;
  return 0;
}

bool nativeLittleEndian() {
  const unsigned one = 1;
  return *reinterpret_cast<const unsigned char*>(&one) == 1;
}
}  // namespace

bool X11Frame::visualMatchesCairo(Display* display, Visual* visual, int depth) {
  (void)display;
  return (depth == 24 || depth == 32) && visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 &&
         visual->blue_mask == 0xff;
}

bool X11Frame::canDrawOn(Visual* visual, int depth) {
  // TrueColor: each pixel holds its red, green and blue in fixed bits.
  return visual->c_class == TrueColor && depth >= 15 && depth <= 32 && visual->red_mask && visual->green_mask &&
         visual->blue_mask;
}

X11Frame::X11Frame(Display* display, Window window, Visual* visual, int depth, Transfer transfer)
    : display_(display),
      window_(window),
      visual_(visual),
      depth_(depth),
      converted_(!visualMatchesCairo(display, visual, depth)) {
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  const bool sameByteOrder = (ImageByteOrder(display_) == LSBFirst) == nativeLittleEndian();
  shmAvailable_ = sameByteOrder && XShmQueryExtension(display_) &&
                  transfer == Transfer::SharedMemoryWhereOffered;
  if (shmAvailable_) completionEvent_ = XShmGetEventBase(display_) + ShmCompletion;
}

X11Frame::~X11Frame() {
  release();
  XFreeGC(display_, gc_);
}

void X11Frame::release() {
  waitForCompletion();
  graphics_.reset();
  surface_.reset();
  if (image_) {
    if (shm_) {
      XShmDetach(display_, &shmInfo_);
      XSync(display_, False);
      shmdt(shmInfo_.shmaddr);
      image_->data = nullptr;
    }
    XDestroyImage(image_);  // frees the data of a plain image
  }
  image_ = nullptr;
  shm_ = false;
}

bool X11Frame::allocateShared(int width, int height) {
  image_ = XShmCreateImage(display_, visual_, depth_, ZPixmap, nullptr, &shmInfo_, width, height);
  if (!image_) return false;
  shmInfo_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height, IPC_CREAT | 0600);
  if (shmInfo_.shmid < 0) {
    XDestroyImage(image_);
    image_ = nullptr;
    return false;
  }
  shmInfo_.shmaddr = image_->data = static_cast<char*>(shmat(shmInfo_.shmid, nullptr, 0));
  shmInfo_.readOnly = False;
  g_attachFailed = false;
  XSync(display_, False);
  auto previous = XSetErrorHandler(catchAttachError);
  XShmAttach(display_, &shmInfo_);
  XSync(display_, False);
  XSetErrorHandler(previous);
  shmctl(shmInfo_.shmid, IPC_RMID, nullptr);  // freed once both sides detach
  if (g_attachFailed || shmInfo_.shmaddr == reinterpret_cast<char*>(-1)) {
    if (shmInfo_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shmInfo_.shmaddr);
    image_->data = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
    shmAvailable_ = false;
    return false;
  }
  shm_ = true;
  return true;
}

bool X11Frame::allocatePlain(int width, int height) {
  image_ = XCreateImage(display_, visual_, depth_, ZPixmap, 0, nullptr, width, height, 32, 0);
  if (!image_) return false;
  image_->data = static_cast<char*>(std::calloc(static_cast<size_t>(image_->bytes_per_line), static_cast<size_t>(height)));
  if (!image_->data) {
    XDestroyImage(image_);
    image_ = nullptr;
    return false;
  }
  if (!converted_) image_->byte_order = nativeLittleEndian() ? LSBFirst : MSBFirst;
  return true;
}

Result<void> X11Frame::resize(int width, int height) {
  if (width == width_ && height == height_ && surface_) return {};
  release();
  width_ = width < 1 ? 1 : width;
  height_ = height < 1 ? 1 : height;
  if (!(shmAvailable_ && allocateShared(width_, height_)) && !allocatePlain(width_, height_)) {
    return Error{"cannot allocate a " + std::to_string(width_) + "x" + std::to_string(height_) + " picture"};
  }
  std::memset(image_->data, 0, static_cast<size_t>(image_->bytes_per_line) * height_);
  unsigned char* pixels = reinterpret_cast<unsigned char*>(image_->data);
  int stride = image_->bytes_per_line;
  if (converted_) {
    stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width_);
    drawn_.assign(static_cast<size_t>(stride) * height_, 0);
    pixels = drawn_.data();
  }
  surface_.reset(cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_RGB24, width_, height_, stride));
  graphics_ = std::make_unique<CairoGraphics>(surface_.get());
  return {};
}

CairoGraphics& X11Frame::graphics() {
  waitForCompletion();
  return *graphics_;
}

void X11Frame::waitForCompletion() {
  if (!awaitingCompletion_) return;
  awaitingCompletion_ = false;
  // Bounded: a window destroyed meanwhile answers with an error, never a completion.
  struct Match {
    Window window;
    int type;
  } match{window_, completionEvent_};
  auto isOurs = [](Display*, XEvent* ev, XPointer arg) -> Bool {
    auto* m = reinterpret_cast<Match*>(arg);
    return ev->type == m->type && reinterpret_cast<XShmCompletionEvent*>(ev)->drawable == m->window;
  };
  XEvent ev;
  for (int waited = 0; waited < 1000; waited += 10) {
    if (XCheckIfEvent(display_, &ev, isOurs, reinterpret_cast<XPointer>(&match))) return;
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    if (poll(&fd, 1, 10) > 0) XEventsQueued(display_, QueuedAfterReading);
  }
}

bool X11Frame::takeEvent(const XEvent& event) {
  if (completionEvent_ < 0 || event.type != completionEvent_) return false;
  if (reinterpret_cast<const XShmCompletionEvent&>(event).drawable != window_) return false;
  awaitingCompletion_ = false;
  return true;
}

void X11Frame::convert(const std::vector<PixelBox>& boxes) {
  // Each channel's 8 bits scaled to its mask's width (5, 6, 10 bits...).
  struct Channel {
    int shift = 0, bits = 0;
    explicit Channel(unsigned long mask) {
      while (mask && !(mask & 1)) mask >>= 1, ++shift;
      while (mask & 1) mask >>= 1, ++bits;
    }
    unsigned long place(unsigned v) const {
      const unsigned long scaled = bits >= 8 ? (static_cast<unsigned long>(v) << (bits - 8)) | (v >> (16 - bits))
                                             : v >> (8 - bits);
      return scaled << shift;
    }
  };
  const Channel red(visual_->red_mask), green(visual_->green_mask), blue(visual_->blue_mask);
  const int stride = cairo_image_surface_get_stride(surface_.get());
  for (const PixelBox& b : boxes) {
    for (int y = b.y0; y < b.y1; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(drawn_.data() + static_cast<size_t>(y) * stride);
      for (int x = b.x0; x < b.x1; ++x) {
        const std::uint32_t p = row[x];
        XPutPixel(image_, x, y, red.place((p >> 16) & 0xff) | green.place((p >> 8) & 0xff) | blue.place(p & 0xff));
      }
    }
  }
}

void X11Frame::send(const std::vector<PixelBox>& boxes) {
  if (!image_ || boxes.empty()) return;
  cairo_surface_flush(surface_.get());
  if (converted_) convert(boxes);
  lastPresentedArea_ = 0;
  if (shm_) {
    // One request for the whole frame: the boxes become the GC's clip and the
    // server copies only through them. Far cheaper for the server than a
    // request a box, which is what lets the boxes be small.
    PixelBox all = boxes.front();
    std::vector<XRectangle> clip;
    clip.reserve(boxes.size());
    for (const PixelBox& b : boxes) {
      all = {std::min(all.x0, b.x0), std::min(all.y0, b.y0), std::max(all.x1, b.x1), std::max(all.y1, b.y1)};
      clip.push_back({static_cast<short>(b.x0), static_cast<short>(b.y0), static_cast<unsigned short>(b.x1 - b.x0),
                      static_cast<unsigned short>(b.y1 - b.y0)});
      lastPresentedArea_ += b.area();
    }
    if (boxes.size() > 1 && boxes.size() <= kMostClipRectangles) {
      // Banded, so the server takes them as they are instead of sorting them.
      XSetClipRectangles(display_, gc_, 0, 0, clip.data(), static_cast<int>(clip.size()), YXBanded);
    } else {
      XSetClipMask(display_, gc_, None);
      lastPresentedArea_ = all.area();
    }
    XShmPutImage(display_, window_, gc_, image_, all.x0, all.y0, all.x0, all.y0, static_cast<unsigned>(all.x1 - all.x0),
                 static_cast<unsigned>(all.y1 - all.y0), True);
    awaitingCompletion_ = true;
  } else {
    XSetClipMask(display_, gc_, None);  // should shared memory have been given up on a resize
    for (const PixelBox& b : boxes) {
      lastPresentedArea_ += b.area();
      XPutImage(display_, window_, gc_, image_, b.x0, b.y0, b.x0, b.y0, static_cast<unsigned>(b.x1 - b.x0),
                static_cast<unsigned>(b.y1 - b.y0));
    }
  }
}

void X11Frame::present() {
  if (!graphics_) return;
  // Without shared memory every box is a request carrying its pixels: fewer, larger ones.
  send(shm_ ? graphics_->takeDamage() : graphics_->takeDamage(DamageGrid::kTilesPerRequestBox));
}

void X11Frame::presentAll() {
  if (!graphics_) return;
  waitForCompletion();
  graphics_->takeDamage();  // all of it goes now
  send({PixelBox{0, 0, width_, height_}});
}

}  // namespace orbelune
