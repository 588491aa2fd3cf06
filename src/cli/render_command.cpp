#include "cli/render_command.h"

#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "cli/cli.h"
#include "cli/saver_options.h"
#include "oscillator/oscillator.h"
#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"
#include "base/number_text.h"
#include "recording/recording_graphics.h"
#include "view/frame_rate_overlay.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {
using ojson = nlohmann::ordered_json;

struct RenderOptions {
  int width = 1280;
  int height = 720;
  long long frames = 200;
  bool framesGiven = false;
  double interval = 0.05;
  std::vector<double> frameTimes;
  bool preview = false;
  std::string opsFile;
  std::string pngDir;
  std::string lastFile;
  SaverOverrides overrides;
  bool fps = false;
  double scale = 1.0;
};

RenderOptions parseOptions(const std::vector<std::string>& args) {
  using cli::UsageError;
  RenderOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto name = cli::flagName(args[i]);
    if (!name) throw UsageError("unexpected argument '" + args[i] + "'");
    if (std::size_t next = i; parseSaverOption(args, next, o.overrides)) {
      i = next - 1;
      continue;
    }
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError("--" + *name + " needs a value");
      return args[++i];
    };
    // An empty path would write nothing and still succeed.
    auto path = [&]() -> const std::string& {
      const std::string& v = value();
      if (v.empty()) throw UsageError("--" + *name + " needs a path, not an empty one");
      return v;
    };
    if (*name == "size") {
      const std::string& v = value();
      auto x = v.find('x');
      auto w = x == std::string::npos ? std::nullopt : parseInteger(v.substr(0, x));
      auto h = x == std::string::npos ? std::nullopt : parseInteger(v.substr(x + 1));
      if (!w || !h || *w < 1 || *h < 1 || *w > 16384 || *h > 16384) {
        throw UsageError("--size needs WxH with whole numbers from 1 to 16384, not '" + v + "'");
      }
      o.width = static_cast<int>(*w);
      o.height = static_cast<int>(*h);
    } else if (*name == "frames") {
      auto n = parseInteger(value());
      if (!n || *n < 0 || *n > 100000000) throw UsageError("--frames needs a whole number of 0 or more");
      o.frames = *n;
      o.framesGiven = true;
    } else if (*name == "interval") {
      auto d = parseNumber(value());
      if (!d) throw UsageError("--interval needs a finite number of seconds");
      o.interval = *d;
    } else if (*name == "frame-times") {
      std::stringstream ss(value());
      std::string part;
      o.frameTimes.clear();
      while (std::getline(ss, part, ',')) {
        auto d = parseNumber(part);
        if (!d) throw UsageError("--frame-times needs finite numbers separated by commas, not '" + part + "'");
        o.frameTimes.push_back(*d);
      }
      if (o.frameTimes.empty()) throw UsageError("--frame-times needs at least one number");
    } else if (*name == "preview") {
      o.preview = true;
    } else if (*name == "fps") {
      o.fps = true;
    } else if (*name == "scale") {
      const std::string& v = value();
      auto scale = parseNumber(v);
      if (!scale || *scale < 0.5 || *scale > 8.0) throw UsageError("--scale needs a number from 0.5 to 8, not '" + v + "'");
      o.scale = *scale;
    } else if (*name == "ops") {
      o.opsFile = path();
    } else if (*name == "png") {
      o.pngDir = path();
    } else if (*name == "last") {
      o.lastFile = path();
    } else {
      throw UsageError("unknown flag '" + args[i] + "' (see orbelune render --help)");
    }
  }
  if (!o.framesGiven && !o.frameTimes.empty()) o.frames = static_cast<long long>(o.frameTimes.size());
  return o;
}

const char* outcomeName(DrawOutcome o) {
  switch (o) {
    case DrawOutcome::Started: return "started";
    case DrawOutcome::Idle: return "idle";
    case DrawOutcome::Drawn: return "drawn";
    default: return "none";
  }
}

bool writePng(cairo_surface_t* surface, const std::string& file, std::ostream& err) {
  cairo_surface_flush(surface);
  // Through a file of our own, so that a failure says why (no such folder, a
  // full disk) rather than only that Cairo could not write.
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) {
    err << "orbelune render: cannot write " << file << ": " << std::strerror(errno) << "\n";
    return false;
  }
  auto put = [](void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                   : CAIRO_STATUS_WRITE_ERROR;
  };
  const bool written = cairo_surface_write_to_png_stream(surface, put, out) == CAIRO_STATUS_SUCCESS;
  const int writeErrno = errno;
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    err << "orbelune render: cannot write " << file << ": " << std::strerror(written ? errno : writeErrno) << "\n";
    return false;
  }
  return true;
}

}  // namespace

void printRenderHelp(std::ostream& out) {
  out << "usage: orbelune render [options]\n"
         "\n"
         "Runs one view headless on a virtual clock, reading the stored settings:\n"
         "startAnimation at time 0, then N ticks, tick k at t_k = t_(k-1) + d_k.\n"
         "\n"
         "  --size WxH             view size in points (default 1280x720)\n"
         "  --frames N             number of ticks (default 200, or the length of --frame-times)\n"
         "  --interval S           d_k of every tick, seconds (default 0.05)\n"
         "  --frame-times D1,D2,.. explicit d_1, d_2, ...; later ticks use --interval\n"
         "  --preview              create the view as a preview\n"
         "  --fps                  show the frames a second of the virtual clock\n"
         "  --scale S              pixels a point: lines and text S times larger (default 1)\n"
         "  --ops FILE             JSON lines of every drawing operation ('-' = stdout)\n"
         "  --png DIR              each drawn tick as DIR/frame-NNNNN.png\n"
         "  --last FILE            the picture shown after the last tick, as PNG\n"
         "\n"
         "The saver's settings flags (orbelune --help) act on the run too.\n";
}

int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-help" || a == "-h") {
      printRenderHelp(out);
      return 0;
    }
  }
  RenderOptions o;
  try {
    o = parseOptions(args);
  } catch (const cli::UsageError& e) {
    err << "orbelune render: " << e.what() << "\n";
    return cli::kExitUsage;
  }

  std::ofstream opsFileStream;
  std::ostream* ops = nullptr;
  if (o.opsFile == "-") {
    ops = &out;
  } else if (!o.opsFile.empty()) {
    errno = 0;
    opsFileStream.open(o.opsFile, std::ios::binary | std::ios::trunc);
    if (!opsFileStream) {
      err << "orbelune render: cannot write " << o.opsFile << (errno ? std::string(": ") + std::strerror(errno) : "")
          << "\n";
      return 1;
    }
    ops = &opsFileStream;
  }
  if (!o.pngDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(o.pngDir, ec);
    if (ec) {
      err << "orbelune render: cannot create " << o.pngDir << ": " << ec.message() << "\n";
      return 1;
    }
  }

  auto clock = std::make_shared<VirtualClock>(0.0);
  auto view = OrbeluneView::create(makeRect(0, 0, o.width, o.height), o.preview, clock);
  if (!view) {
    err << "orbelune render: cannot create the view\n";
    return 1;
  }
  applySaverOverrides(o.overrides, *view);
  view->setDisplayScale(o.scale);
  std::optional<FrameRateOverlay> fps;
  if (o.fps) fps.emplace(false);  // the virtual clock's rate only: runs stay reproducible

  const bool pixels = !o.pngDir.empty() || !o.lastFile.empty();
  CairoSurface picture;
  cairo_surface_t* surface = nullptr;
  std::unique_ptr<Graphics> backend;
  if (pixels) {
    picture = makeImageSurface(CAIRO_FORMAT_ARGB32, o.width, o.height);
    if (!picture) {
      err << "orbelune render: cannot allocate a " << o.width << "x" << o.height << " picture\n";
      return 1;
    }
    surface = picture.get();
    backend = std::make_unique<CairoGraphics>(surface);
  } else {
    backend = std::make_unique<MeasuringGraphics>();
  }
  RecordingGraphics recorder(backend.get());

  view->startAnimation();
  if (ops) {
    const Rect b = view->bounds();
    ojson start;
    start["event"] = "start";
    start["samplingRate"] = view->sweep().samplingRate;
    start["maxSplitNum"] = view->maxSplitNum();
    start["maxPathNum"] = view->maxPathNum();
    start["sweepMethod"] = view->sweep().method;
    start["sweepRate"] = view->sweep().sweepTime;
    start["bounds"] = ojson::array({static_cast<std::int64_t>(b.origin.x), static_cast<std::int64_t>(b.origin.y),
                                    static_cast<std::int64_t>(b.size.width), static_cast<std::int64_t>(b.size.height)});
    *ops << start.dump() << "\n";
  }

  int status = 0;
  double t = 0.0;
  for (long long k = 1; k <= o.frames && status == 0; ++k) {
    const double d = k <= static_cast<long long>(o.frameTimes.size()) ? o.frameTimes[k - 1] : o.interval;
    t = t + d;
    clock->set(t);
    recorder.clear();
    if (!view->tick(recorder)) continue;
    if (fps && view->lastDrawOutcome() == DrawOutcome::Drawn) {
      fps->frameDrawn(t);
      fps->draw(recorder, view->bounds(), view->settings().textColor.value_or(Color::white()), o.scale);
    }
    if (ops) {
      ojson line;
      line["event"] = "draw";
      line["tick"] = k;
      line["time"] = t;
      line["result"] = outcomeName(view->lastDrawOutcome());
      line["ops"] = recorder.opsJson();
      *ops << line.dump() << "\n";
    }
    if (!o.pngDir.empty() && view->lastDrawOutcome() == DrawOutcome::Drawn) {
      char name[32];
      std::snprintf(name, sizeof name, "frame-%05lld.png", k);
      if (!writePng(surface, (std::filesystem::path(o.pngDir) / name).string(), err)) status = 1;
    }
  }
  if (status == 0 && !o.lastFile.empty() && !writePng(surface, o.lastFile, err)) status = 1;
  if (ops) {
    ops->flush();
    if (!*ops) {
      err << "orbelune render: cannot write " << o.opsFile << "\n";
      status = 1;
    }
  }
  backend.reset();  // before the picture it draws on
  return status;
}

}  // namespace orbelune
