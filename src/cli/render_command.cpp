#include "cli/render_command.h"

#include <cairo.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <sstream>

#include "bundle_info.h"
#include "cli/cli.h"
#include "cli/flag_table.h"
#include "cli/saver_options.h"
#include "oscillator/oscillator.h"
#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"
#include "base/number_text.h"
#include "base/result.h"
#include "host/store_warnings.h"
#include "recording/recording_graphics.h"
#include "session/saver_session.h"
#include "store/screen_saver_defaults.h"

namespace orbelune {
namespace {
using ojson = nlohmann::ordered_json;

// The virtual clock runs forwards only, and at most a day a tick: a hundred
// million ticks of that still give finite times.
constexpr double kLongestTick = 86400.0;

struct RenderOptions {
  int width = 1280;
  int height = 720;
  long long frames = 200;
  bool framesGiven = false;
  std::optional<double> interval;  // none: the view's animation interval
  std::vector<double> frameTimes;
  bool preview = false;
  std::string opsFile;
  std::string pngDir;
  std::string lastFile;
  SaverOverrides overrides;
  std::optional<std::uint64_t> seed;  // --seed N
  bool fps = false;
  double scale = 1.0;
  bool quiet = false;
};

// What a long run has done, on a terminal: the frames, their rate and the
// time left, twice a second on one line of its own; cleared at the end.
class Progress {
 public:
  Progress(std::ostream* out, long long total) : out_(out), total_(total) {}
  void at(long long frame) {
    if (!out_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return;
    next_ = now + std::chrono::milliseconds(500);
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (frame <= 1 || seconds <= 0.0) return;
    const double rate = static_cast<double>(frame - 1) / seconds;
    const auto left = static_cast<long long>(static_cast<double>(total_ - frame + 1) / rate);
    char line[160];
    std::snprintf(line, sizeof line, "\rorbelune render: frame %lld of %lld, %.0f frames/s, %lld:%02lld:%02lld left\x1b[K",
                  frame, total_, rate, left / 3600, left / 60 % 60, left % 60);
    *out_ << line << std::flush;
    shown_ = true;
  }
  ~Progress() {
    if (shown_) *out_ << "\r\x1b[K" << std::flush;
  }

 private:
  std::ostream* out_;
  long long total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point next_ = start_ + std::chrono::seconds(1);
  bool shown_ = false;
};

// A number of seconds from 0 to a day, or nullopt.
std::optional<double> tickLength(const std::string& text) {
  auto d = parseNumber(text);
  if (!d || *d < 0.0 || *d > kLongestTick) return std::nullopt;
  return *d;
}

// An empty path would write nothing and still succeed.
const std::string& nonEmptyPath(const char* flag, const std::string& v) {
  if (v.empty()) throw cli::UsageError(std::string("--") + flag + " needs a path, not an empty one");
  return v;
}

using RenderFlag = cli::Flag<RenderOptions>;
using cli::UsageError;

constexpr RenderFlag kRenderFlags[] = {
    {"size", "WxH", "WxH with whole numbers from 1 to 16384", "view size in points (default 1280x720)",
     [](RenderOptions& o, const std::string& v) {
       auto x = v.find('x');
       auto w = x == std::string::npos ? std::nullopt : parseInteger(v.substr(0, x));
       auto h = x == std::string::npos ? std::nullopt : parseInteger(v.substr(x + 1));
       if (!w || !h || *w < 1 || *h < 1 || *w > 16384 || *h > 16384) {
         throw UsageError("--size needs WxH with whole numbers from 1 to 16384, not " + cli::shown(v));
       }
       o.width = static_cast<int>(*w);
       o.height = static_cast<int>(*h);
     }},
    {"frames", "N", "a whole number of 0 or more", "number of ticks (default 200, or the length of --frame-times)",
     [](RenderOptions& o, const std::string& v) {
       auto n = parseInteger(v);
       if (!n || *n < 0 || *n > 100000000) throw UsageError("--frames needs a whole number of 0 or more");
       o.frames = *n;
       o.framesGiven = true;
     }},
    {"interval", "S", "a number of seconds from 0 to 86400", "d_k of every tick, seconds (default 0.05)",
     [](RenderOptions& o, const std::string& v) {
       auto d = tickLength(v);
       if (!d) throw UsageError("--interval needs a number of seconds from 0 to 86400, not " + cli::shown(v));
       o.interval = *d;
     }},
    {"frame-times", "D1,D2,..", "numbers of seconds from 0 to 86400 separated by commas",
     "explicit d_1, d_2, ...; later ticks use --interval",
     [](RenderOptions& o, const std::string& v) {
       std::stringstream ss(v);
       std::string part;
       o.frameTimes.clear();
       while (std::getline(ss, part, ',')) {
         auto d = tickLength(part);
         if (!d) {
           throw UsageError("--frame-times needs numbers of seconds from 0 to 86400 separated by commas, not " +
                            cli::shown(part));
         }
         o.frameTimes.push_back(*d);
       }
       if (o.frameTimes.empty()) throw UsageError("--frame-times needs at least one number");
     }},
    {"preview", nullptr, nullptr, "create the view as a preview",
     [](RenderOptions& o, const std::string&) { o.preview = true; }},
    {"fps", nullptr, nullptr, "show the frames a second of the virtual clock",
     [](RenderOptions& o, const std::string&) { o.fps = true; }},
    {"scale", "S", "a number from 0.5 to 8", "pixels a point: lines and text S times larger (default 1)",
     [](RenderOptions& o, const std::string& v) { o.scale = parseScale(v); }},
    {"ops", "FILE", "a path", "JSON lines of every drawing operation ('-' = stdout)",
     [](RenderOptions& o, const std::string& v) { o.opsFile = nonEmptyPath("ops", v); }},
    {"png", "DIR", "a path", "each drawn tick as DIR/frame-NNNNN.png",
     [](RenderOptions& o, const std::string& v) { o.pngDir = nonEmptyPath("png", v); }},
    {"last", "FILE", "a path", "the picture shown after the last tick, as PNG",
     [](RenderOptions& o, const std::string& v) { o.lastFile = nonEmptyPath("last", v); }},
    {"quiet", nullptr, nullptr, "no progress line on a terminal",
     [](RenderOptions& o, const std::string&) { o.quiet = true; }},
};

RenderOptions parseOptions(const std::vector<std::string>& args) {
  RenderOptions o;
  o.seed = findSeed(args);
  cli::readFlags<RenderOptions>(args, kRenderFlags, o, "orbelune render --help", settingFlags(o.overrides, o.seed));
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

Result<void> writePng(cairo_surface_t* surface, const std::string& file) {
  cairo_surface_flush(surface);
  // Through a file of our own, so that a failure says why (no such folder, a
  // full disk) rather than only that Cairo could not write.
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) return Error{"cannot write " + file + ": " + std::strerror(errno)};
  auto put = [](void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                   : CAIRO_STATUS_WRITE_ERROR;
  };
  const bool written = cairo_surface_write_to_png_stream(surface, put, out) == CAIRO_STATUS_SUCCESS;
  const int writeErrno = errno;
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) return Error{"cannot write " + file + ": " + std::strerror(written ? errno : writeErrno)};
  return {};
}

}  // namespace

void printRenderHelp(std::ostream& out) {
  out << "usage: orbelune render [options]\n"
         "\n"
         "Runs one view headless on a virtual clock, reading the stored settings:\n"
         "startAnimation at time 0, then N ticks, tick k at t_k = t_(k-1) + d_k.\n"
         "\n";
  cli::printFlags<RenderOptions>(out, kRenderFlags, 25);
  out << "\n"
         "The saver's settings flags, --preset, --random and --seed (orbelune --help)\n"
         "act on the run too.\n";
}

int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (auto answered = cli::answerHelpOrVersion(args, out, printRenderHelp)) return *answered;
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

  // On a virtual clock the overlay counts frames only: runs stay reproducible.
  auto clock = std::make_shared<VirtualClock>(0.0);
  // The user's stored settings, as the saver reads them.
  SaverSession session({o.overrides, o.fps, o.scale, o.seed}, clock, ScreenSaverDefaults::forModule(kBundleIdentifier));
  auto sessionView = session.makeView(Size{static_cast<double>(o.width), static_cast<double>(o.height)}, o.preview);
  sayStoreWarnings(session.store().get(), err);
  if (!sessionView) {
    err << "orbelune render: cannot create the view\n";
    return 1;
  }
  OrbeluneView* view = &sessionView->view();
  // Ticks at the pace the hosts draw at, unless the run gives its own.
  const double interval = o.interval.value_or(session.interval());

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
  // Only a terminal is told, and only when it is this program's own.
  Progress progress(!o.quiet && &err == &std::cerr && isatty(STDERR_FILENO) ? &err : nullptr, o.frames);
  for (long long k = 1; k <= o.frames && status == 0; ++k) {
    progress.at(k);
    const double d = k <= static_cast<long long>(o.frameTimes.size()) ? o.frameTimes[k - 1] : interval;
    t = t + d;
    clock->set(t);
    recorder.clear();
    if (!sessionView->drawFrame(recorder)) continue;
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
      if (auto written = writePng(surface, (std::filesystem::path(o.pngDir) / name).string()); !written) {
        err << "orbelune render: " << written.error().message << "\n";
        status = 1;
      }
    }
  }
  if (status == 0 && !o.lastFile.empty()) {
    if (auto written = writePng(surface, o.lastFile); !written) {
      err << "orbelune render: " << written.error().message << "\n";
      status = 1;
    }
  }
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
