#include "cli/saver_command.h"

#include <cstdlib>
#include <ostream>

#include "cli/cli.h"
#include "cli/flag_table.h"
#include "cli/saver_options.h"
#include "host/placement.h"
#include "host/termination.h"
#include "session/saver_session.h"
#include "wayland/wayland_saver.h"
#include "x11/x11_saver.h"
#include "x11/x11_targets.h"

namespace orbelune {
namespace {

struct SaverOptions {
  Placement placement = Placement::OwnWindow;
  Window windowId = 0;
  SessionOptions session;
};

using SaverFlag = cli::Flag<SaverOptions>;

constexpr SaverFlag kSaverFlags[] = {
    {"window", nullptr, nullptr, "a resizable window of its own (the default; q or Escape quits)",
     [](SaverOptions& o, const std::string&) { o.placement = Placement::OwnWindow; }},
    {"root", nullptr, nullptr, "draw on the window in $XSCREENSAVER_WINDOW, else the virtual root",
     [](SaverOptions& o, const std::string&) { o.placement = Placement::Root; }},
    {"window-id", "ID", "a window id", "draw on the window ID (hex 0x... or decimal), as a preview",
     [](SaverOptions& o, const std::string& v) {
       auto id = parseWindowId(v);
       if (!id) throw cli::UsageError("--window-id needs a window id in hex (0x...) or decimal, not " + cli::shown(v));
       o.placement = Placement::GivenWindow;
       o.windowId = *id;
     }},
    {"fullscreen", nullptr, nullptr, "one full-screen view per monitor",
     [](SaverOptions& o, const std::string&) { o.placement = Placement::Fullscreen; }},
    {"wayland", nullptr, nullptr, "on Wayland (layer shell): cover every output; input ends it",
     [](SaverOptions& o, const std::string&) { o.placement = Placement::Cover; }},
    {"wayland-background", nullptr, nullptr, "the same on the background layer, taking no input",
     [](SaverOptions& o, const std::string&) { o.placement = Placement::Background; }},
    {"fps", nullptr, nullptr, "show the frames a second, the frame time and the CPU share",
     [](SaverOptions& o, const std::string&) { o.session.fps = true; }},
    {"scale", "S", "a number from 0.5 to 8", "pixels a point (default: the screen's Xft.dpi / 96)",
     [](SaverOptions& o, const std::string& v) { o.session.scale = parseScale(v); }},
};

SaverOptions parseSaverOptions(const std::vector<std::string>& args) {
  SaverOptions o;
  o.session.seed = findSeed(args);
  cli::readFlags<SaverOptions>(args, kSaverFlags, o, "orbelune --help", settingFlags(o.session.overrides, o.session.seed));
  return o;
}

}  // namespace

void printSaverHelp(std::ostream& out) {
  out << "usage: orbelune [--window | --root | --window-id ID | --fullscreen] [SETTINGS]\n"
         "\n";
  cli::printFlags<SaverOptions>(out, kSaverFlags, 18);
  out << "\n"
         "Settings for this run only (they override the stored ones and are never saved):\n";
  printSettingFlags(out);
  out << "\n"
         "Figures for this run only (flags after them override their values):\n";
  printFigureFlags(out);
  out << "\n"
         "Every flag also works with a single dash (-root), as XScreenSaver passes them.\n"
         "SIGTERM or SIGINT ends the saver with status 0.\n";
}

int runSaverCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  (void)out;
  endOnTerminationSignals();
  SaverOptions o;
  try {
    o = parseSaverOptions(args);
  } catch (const cli::UsageError& e) {
    err << "orbelune: " << e.what() << "\n";
    return cli::kExitUsage;
  }
  if (o.placement == Placement::Root) {
    if (const char* env = std::getenv("XSCREENSAVER_WINDOW"); env && *env) {
      auto id = parseWindowId(env);
      if (!id) {
        err << "orbelune: XSCREENSAVER_WINDOW must be a window id in hex (0x...) or decimal, not "
            << cli::shown(env) << "\n";
        return cli::kExitUsage;
      }
      o.windowId = *id;
    }
  }

  // A window of its own on a Wayland session without X (no XWayland): a native one.
  const char* name = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool waylandOnly = (!name || !*name) && wayland && *wayland;
#ifdef ORBELUNE_WAYLAND
  if (waylandOnly && (o.placement == Placement::OwnWindow || o.placement == Placement::Fullscreen)) {
    return runWaylandSaver({o.placement, o.session}, err);
  }
#else
  (void)waylandOnly;
#endif
  if (o.placement == Placement::Cover || o.placement == Placement::Background) {
#ifdef ORBELUNE_WAYLAND
    return runWaylandSaver({o.placement, o.session}, err);
#else
    err << "orbelune: this build has no Wayland host (it needs libwayland-dev, libwayland-bin, wayland-protocols "
           "when built)\n";
    return cli::kExitUsage;
#endif
  }

  return runX11Saver({o.placement, o.windowId, o.session}, err);
}

}  // namespace orbelune
