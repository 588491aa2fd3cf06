#include "x11/server_idle_source.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cmath>

namespace orbelune {
namespace {

// The longest between two looks at the idle time: a look also notices a
// daemon that started.
constexpr double kLongestSleep = 5.0;
// Between two looks while the figure shows and the host does not see the input.
constexpr double kShownLook = 0.25;

}  // namespace

bool xscreensaverRuns(Display* display) {
  const Window root = DefaultRootWindow(display);
  const Atom version = XInternAtom(display, "_SCREENSAVER_VERSION", False);
  auto marked = [&](Window w) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(display, w, version, 0, 64, False, XA_STRING, &type, &format, &items, &left,
                                        &data) == Success &&
                     type != None;
    if (data) XFree(data);
    return has;
  };
  if (marked(root)) return true;
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  bool found = false;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && !found; ++i) found = marked(children[i]);
    if (children) XFree(children);
  }
  return found;
}

Result<std::unique_ptr<ServerIdleSource>> ServerIdleSource::open(Display* display, double afterSeconds,
                                                                 HostCore& core, std::ostream& out) {
  int event = 0, error = 0;
  if (!XScreenSaverQueryExtension(display, &event, &error)) {
    return Error{"this X server has no MIT-SCREEN-SAVER extension to tell the idle time"};
  }
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  if (!info) return Error{"out of memory"};
  return std::unique_ptr<ServerIdleSource>(new ServerIdleSource(display, info, afterSeconds, core, out));
}

ServerIdleSource::ServerIdleSource(Display* display, XScreenSaverInfo* info, double afterSeconds, HostCore& core,
                                   std::ostream& out)
    : display_(display), info_(info), afterSeconds_(afterSeconds), core_(core), out_(out), nextLook_(clock_.now()) {}

ServerIdleSource::~ServerIdleSource() { XFree(info_); }

double ServerIdleSource::nextLookIn() const {
  if (shown_) return hostSeesInput_ ? kLongestSleep : kShownLook;
  // Until the idle time could reach the chosen time, at the latest.
  return std::clamp(afterSeconds_ - idleSeconds_, 0.0, kLongestSleep);
}

void ServerIdleSource::prepare(std::vector<pollfd>&, int& timeoutMs) {
  const int ms = static_cast<int>(std::ceil(std::max(nextLook_ - clock_.now(), 0.0) * 1000.0)) + 1;
  if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = ms;
}

Result<void> ServerIdleSource::dispatch(std::vector<pollfd>&) {
  const double now = clock_.now();
  if (now < nextLook_) return {};
  if (!XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_)) {
    return Error{"the X server did not tell the idle time"};
  }
  idleSeconds_ = static_cast<double>(info_->idle) / 1000.0;
  nextLook_ = now + nextLookIn();
  // A daemon started after the watcher takes over from then on.
  if (!shown_ && idleSeconds_ >= afterSeconds_ && xscreensaverRuns(display_)) {
    out_ << core_.name() << ": XScreenSaver's daemon started on this display; leaving the saver to it" << std::endl;
    core_.end(0);
  }
  return {};
}

bool ServerIdleSource::idle() const {
  if (shown_ && hostSeesInput_) return true;
  return idleSeconds_ >= afterSeconds_;
}

void ServerIdleSource::shown() {
  shown_ = true;
  nextLook_ = clock_.now() + nextLookIn();
}

void ServerIdleSource::hidden() {
  shown_ = false;
  nextLook_ = clock_.now();  // whether the session is in use again: at once
}

}  // namespace orbelune
