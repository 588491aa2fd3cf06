// Frame costs against the floor of a full repaint (a memset of the same buffer).
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "oscillator/oscillator.h"
#include "platform/cairo/cairo_graphics.h"
#include "platform/recording/recording_graphics.h"
#include "platform/x11/x11_frame.h"
#include "view/orbelune_view.h"

namespace {
using namespace orbelune;

// A view with default settings (never the user's store) whose trail is full.
struct Scene {
  Scene(int w, int h, double fmax = 0.0) {
    setenv("XDG_CONFIG_HOME", "/nonexistent-orbelune-bench", 1);
    view = OrbeluneView::create(makeRect(0, 0, w, h), false, clock);
    if (fmax > 0.0) {
      view->xAxis().setFrequency1(fmax);
      view->xAxis().setFrequency2(fmax);
    }
    view->startAnimation();
  }
  void tick(Graphics& g) {
    t += 0.05;
    clock->set(t);
    view->animateOneFrame();
    view->displayIfNeeded(g);
  }
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::unique_ptr<OrbeluneView> view;
  double t = 0.0;
};

void MemsetFloor(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * state.range(1) * 4;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[bytes]);
  for (auto _ : state) {
    std::memset(buffer.get(), 0, bytes);
    benchmark::DoNotOptimize(buffer.get());
    benchmark::ClobberMemory();
  }
}

void CairoFrame(benchmark::State& state, bool cached, bool text = true) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  {
    CairoGraphics g(surface);
    g.setCachesCoverage(cached);
    Scene scene(w, h);
    scene.view->setShowCurrentValue(text);
    for (int i = 0; i < 30; ++i) scene.tick(g);
    for (auto _ : state) {
      scene.tick(g);
      cairo_surface_flush(surface);
    }
  }
  cairo_surface_destroy(surface);
}

void CairoFrameCached(benchmark::State& state) { CairoFrame(state, true); }
void CairoFramePlainStrokes(benchmark::State& state) { CairoFrame(state, false); }
void CairoFrameWithoutText(benchmark::State& state) { CairoFrame(state, true, false); }

void CairoFrameAt44100(benchmark::State& state) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1920, 1080);
  {
    CairoGraphics g(surface);
    Scene scene(1920, 1080, 441.0);  // the highest sampling rate
    for (int i = 0; i < 10; ++i) scene.tick(g);
    state.counters["samplingRate"] = scene.view->sweep().samplingRate;
    for (auto _ : state) scene.tick(g);
  }
  cairo_surface_destroy(surface);
}

void RecordingFrame(benchmark::State& state) {
  RecordingGraphics g;
  Scene scene(1920, 1080);
  for (int i = 0; i < 30; ++i) scene.tick(g);
  for (auto _ : state) {
    g.clear();
    scene.tick(g);
  }
}

// Showing a finished 1080p frame in an X window (needs $DISPLAY, e.g. under xvfb-run).
void ShowInXWindow(benchmark::State& state, bool shm) {
  if (!shm) setenv("ORBELUNE_NO_SHM", "1", 1);
  Display* d = nullptr;
  // Xvfb now and then refuses a connection right after the last one closed.
  for (int attempt = 0; attempt < 10 && !d; ++attempt) {
    d = XOpenDisplay(nullptr);
    if (!d) usleep(100000);
  }
  if (!d) {
    state.SkipWithError("no X display (run under xvfb-run)");
    unsetenv("ORBELUNE_NO_SHM");
    return;
  }
  const int screen = DefaultScreen(d);
  Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 1920, 1080, 0, 0, 0);
  XMapWindow(d, w);
  XSync(d, False);
  {
    X11Frame frame(d, w, DefaultVisual(d, screen), DefaultDepth(d, screen));
    frame.resize(1920, 1080);
    Scene scene(1920, 1080);
    for (int i = 0; i < 30; ++i) scene.tick(frame.graphics());
    state.counters["shm"] = frame.usesSharedMemory();
    for (auto _ : state) {
      frame.present();
      XSync(d, False);  // count the server's side too
    }
  }
  XDestroyWindow(d, w);
  XCloseDisplay(d);
  unsetenv("ORBELUNE_NO_SHM");
}
void ShowWithShm(benchmark::State& state) { ShowInXWindow(state, true); }
void ShowWithPutImage(benchmark::State& state) { ShowInXWindow(state, false); }

}  // namespace

BENCHMARK(MemsetFloor)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameCached)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFramePlainStrokes)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameWithoutText)->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAt44100)->Unit(benchmark::kMicrosecond);
BENCHMARK(RecordingFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShowWithShm)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShowWithPutImage)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
