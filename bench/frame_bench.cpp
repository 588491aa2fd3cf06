// Frame costs against the floor of a full repaint (a memset of the same buffer).
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "oscillator/oscillator.h"
#include "cairo/cairo_graphics.h"
#include "recording/recording_graphics.h"
#include "x11/x11_frame.h"
#include "view/orbelune_view.h"
#include "view/status_line.h"

namespace {
using namespace orbelune;

// A view with default settings (never the user's store) whose trail is full.
struct Scene {
  Scene(int w, int h, double fmax = 0.0) {
    view = OrbeluneView::create(makeRect(0, 0, w, h), false, nullptr, clock);
    if (fmax > 0.0) {
      Settings s = view->settings();
      s.frequencyX1 = fmax;
      s.frequencyX2 = fmax;
      view->applySettings(s);
    }
    view->startAnimation();
  }
  // The densest reachable figure: a 5 -> 500 Hz sweep against 440 Hz, which
  // samples at 44 100 a second.
  static std::unique_ptr<Scene> densest(int w, int h) {
    auto scene = std::make_unique<Scene>(w, h);
    OrbeluneView& v = *scene->view;
    v.stopAnimation();
    Settings s = v.settings();
    s.sweepMethod = 1;
    s.sweepTime = 60.0;
    s.frequencyX1 = 5.0;
    s.frequencyX2 = 500.0;
    s.frequencyY1 = 440.0;
    s.frequencyY2 = 440.0;
    v.applySettings(s);
    v.startAnimation();
    return scene;
  }
  void tick(Graphics& g, double interval = 0.05) {
    t += interval;
    clock->set(t);
    view->tick(g);
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

// The reference a frame is held to: Cairo filling the whole surface once.
void CairoFullFill(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (auto _ : state) {
    cairo_paint(cr);
    cairo_surface_flush(surface);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// What comes between two measured frames. The saver sleeps 50 ms between
// frames and wakes to a colder machine; which part of "colder" costs is told
// apart by a 50 ms busy wait (the core stays awake, the caches stay the
// frame's, unless another process runs) and by evicting the caches without
// sleeping (64 MiB written: every cache level and the TLB hold other lines).
enum class Between { Nothing, Sleep, Spin, Evict };

void pauseBetweenFrames(Between between, std::vector<unsigned char>& other) {
  switch (between) {
    case Between::Nothing:
      return;
    case Between::Sleep:
      usleep(50000);
      return;
    case Between::Spin: {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
      while (std::chrono::steady_clock::now() < until) {
      }
      return;
    }
    case Between::Evict: {
      // Twice the last level's size, a store to each line: memset would go
      // around the caches (non-temporal stores) at this size.
      other.resize(64u << 20);
      volatile unsigned char* line = other.data();
      for (std::size_t i = 0; i < other.size(); i += 64) line[i] = static_cast<unsigned char>(line[i] + 1);
      benchmark::DoNotOptimize(other.data());
      benchmark::ClobberMemory();
      return;
    }
  }
}

// The page faults the process took so far (a frame's share, between two readings).
long pageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

void CairoFrame(benchmark::State& state, bool cached, bool text = true, bool damage = true,
                Between between = Between::Nothing) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  {
    CairoGraphics g(surface);
    g.setCachesCoverage(cached);
    g.setTracksDamage(damage);
    Scene scene(w, h);
    Settings s = scene.view->settings();
    s.isShowCurrentValue = text;
    scene.view->applySettings(s);
    for (int i = 0; i < 30; ++i) scene.tick(g);
    long long area = 0, frames = 0;
    std::vector<unsigned char> other;
    const long faultsBefore = pageFaults();
    for (auto _ : state) {
      if (between != Between::Nothing) {
        // The saver sleeps 50 ms between frames: a frame after a pause, not a
        // frame after a frame, is the cost it pays.
        state.PauseTiming();
        pauseBetweenFrames(between, other);
        state.ResumeTiming();
      }
      scene.tick(g);
      cairo_surface_flush(surface);
      for (const auto& b : g.takeDamage()) area += b.area();
      ++frames;
    }
    state.counters["damage%"] = 100.0 * static_cast<double>(area) / static_cast<double>(frames) / (double(w) * h);
    state.counters["faults"] = static_cast<double>(pageFaults() - faultsBefore) / static_cast<double>(frames);
  }
  cairo_surface_destroy(surface);
}

void CairoFrameCached(benchmark::State& state) { CairoFrame(state, true); }
void CairoFrameFullRepaint(benchmark::State& state) { CairoFrame(state, true, true, false); }
void CairoFramePlainStrokes(benchmark::State& state) { CairoFrame(state, false); }
void CairoFrameWithoutText(benchmark::State& state) { CairoFrame(state, true, false); }
void CairoFrameAfterIdle(benchmark::State& state) { CairoFrame(state, true, true, true, Between::Sleep); }
void CairoFrameAfterSpin(benchmark::State& state) { CairoFrame(state, true, true, true, Between::Spin); }
void CairoFrameAfterEviction(benchmark::State& state) { CairoFrame(state, true, true, true, Between::Evict); }
void CairoFrameAfterIdleWithoutText(benchmark::State& state) { CairoFrame(state, true, false, true, Between::Sleep); }

// The status line alone, as drawRect: makes it, a new one each frame (the
// sweep's digits, phases and time): composed, fitted to the view, drawn at its
// centre, and cleared by the next frame's background fill.
void StatusLine(benchmark::State& state, bool afterIdle) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1920, 1080);
  {
    CairoGraphics g(surface);
    SweepParameters sweep;
    sweep.method = 1;
    Oscillator x(sweep, 5.0, 500.0, 0.0, 90.0), y(sweep, 440.0, 6.0, -45.0, 30.0);
    double t = 0.0;
    auto frame = [&] {
      t += 0.05;
      g.setColor(Color::black(), Color::black());
      g.rectFill(makeRect(0, 0, 1920, 1080));
      const auto line = composeStatusLine({true, true, true, 1, t, t}, x, y);
      const FittedLine fitted = fitStatusLine(g, *line, Color::white(), 1920.0);
      g.drawText(fitted.styled, Point{960.0 - 0.5 * fitted.width, 0.0}, Color::white());
    };
    for (int i = 0; i < 30; ++i) frame();
    for (auto _ : state) {
      if (afterIdle) {
        state.PauseTiming();
        usleep(50000);
        state.ResumeTiming();
      }
      frame();
    }
  }
  cairo_surface_destroy(surface);
}
void StatusLineWarm(benchmark::State& state) { StatusLine(state, false); }
void StatusLineAfterIdle(benchmark::State& state) { StatusLine(state, true); }

// The densest figure at 20 frames a second, and a catch-up frame after a
// 0.1 s stall (twice the samples: the most the clamp lets through).
void DensestFrame(benchmark::State& state, double interval) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1920, 1080);
  {
    CairoGraphics g(surface);
    auto scene = Scene::densest(1920, 1080);
    for (int i = 0; i < 20; ++i) scene->tick(g);
    state.counters["samplingRate"] = scene->view->sweep().samplingRate;
    for (auto _ : state) {
      scene->tick(g, interval);
      if (interval > 0.05) {  // the stall, then frames at the usual pace so each measured one catches up
        state.PauseTiming();
        for (int i = 0; i < 2; ++i) scene->tick(g);
        state.ResumeTiming();
      }
    }
  }
  cairo_surface_destroy(surface);
}
void DensestFrameAt20fps(benchmark::State& state) { DensestFrame(state, 0.05); }
void DensestCatchUpFrame(benchmark::State& state) { DensestFrame(state, 0.1); }

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
// `whole`: send the whole picture; otherwise draw a frame and send its damage.
void ShowInXWindow(benchmark::State& state, bool shm, bool whole) {
  Display* d = nullptr;
  // Xvfb now and then refuses a connection right after the last one closed.
  for (int attempt = 0; attempt < 10 && !d; ++attempt) {
    d = XOpenDisplay(nullptr);
    if (!d) usleep(100000);
  }
  if (!d) {
    state.SkipWithError("no X display (run under xvfb-run)");
    return;
  }
  const int screen = DefaultScreen(d);
  Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 1920, 1080, 0, 0, 0);
  XMapWindow(d, w);
  XSync(d, False);
  {
    X11Frame frame(d, w, DefaultVisual(d, screen), DefaultDepth(d, screen),
                   shm ? X11Frame::Transfer::SharedMemoryWhereOffered : X11Frame::Transfer::PutImage);
    if (auto sized = frame.resize(1920, 1080); !sized) {
      state.SkipWithError(sized.error().message.c_str());
      return;
    }
    Scene scene(1920, 1080);
    for (int i = 0; i < 30; ++i) scene.tick(frame.graphics());
    state.counters["shm"] = frame.usesSharedMemory();
    long long area = 0, frames = 0;
    for (auto _ : state) {
      if (whole) {
        frame.presentAll();
      } else {
        scene.tick(frame.graphics());
        frame.present();
      }
      area += frame.lastPresentedArea();
      ++frames;
      XSync(d, False);  // count the server's side too
    }
    state.counters["sent%"] = 100.0 * static_cast<double>(area) / static_cast<double>(frames) / (1920.0 * 1080.0);
  }
  XDestroyWindow(d, w);
  XCloseDisplay(d);
}
void ShowWithShm(benchmark::State& state) { ShowInXWindow(state, true, true); }
void ShowWithPutImage(benchmark::State& state) { ShowInXWindow(state, false, true); }
void FrameAndDamageWithShm(benchmark::State& state) { ShowInXWindow(state, true, false); }

}  // namespace

BENCHMARK(MemsetFloor)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFullFill)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameCached)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameFullRepaint)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFramePlainStrokes)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAfterIdle)->Args({1920, 1080})->Args({3840, 2160})->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAfterSpin)->Args({1920, 1080})->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAfterEviction)->Args({1920, 1080})->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAfterIdleWithoutText)->Args({1920, 1080})->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameWithoutText)->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(StatusLineWarm)->Unit(benchmark::kMicrosecond);
BENCHMARK(StatusLineAfterIdle)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoFrameAt44100)->Unit(benchmark::kMicrosecond);
BENCHMARK(DensestFrameAt20fps)->Unit(benchmark::kMicrosecond);
BENCHMARK(DensestCatchUpFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(RecordingFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShowWithShm)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShowWithPutImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(FrameAndDamageWithShm)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
