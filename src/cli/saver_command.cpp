#include "cli/saver_command.h"

#include <cstdlib>
#include <ostream>

#include "base/number_text.h"
#include "cli/cli.h"
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

SaverOptions parseSaverOptions(const std::vector<std::string>& args) {
  SaverOptions o;
  o.session.seed = findSeed(args);
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto name = cli::flagName(args[i]);
    if (!name) throw cli::UsageError("unexpected argument " + cli::shown(args[i]));
    std::size_t next = i;
    if (parseSaverOption(args, next, o.session.overrides, o.session.seed)) {
      i = next - 1;
      continue;
    }
    if (*name == "root") {
      o.placement = Placement::Root;
    } else if (*name == "window-id") {
      if (i + 1 >= args.size()) throw cli::UsageError("--window-id needs a window id");
      auto id = parseWindowId(args[++i]);
      if (!id) throw cli::UsageError("--window-id needs a window id in hex (0x...) or decimal, not " + cli::shown(args[i]));
      o.placement = Placement::GivenWindow;
      o.windowId = *id;
    } else if (*name == "fullscreen") {
      o.placement = Placement::Fullscreen;
    } else if (*name == "wayland") {
      o.placement = Placement::Cover;
    } else if (*name == "wayland-background") {
      o.placement = Placement::Background;
    } else if (*name == "fps") {
      o.session.fps = true;
    } else if (*name == "scale") {
      if (i + 1 >= args.size()) throw cli::UsageError("--scale needs a number from 0.5 to 8");
      auto v = parseNumber(args[++i]);
      if (!v || *v < 0.5 || *v > 8.0) throw cli::UsageError("--scale needs a number from 0.5 to 8, not " + cli::shown(args[i]));
      o.session.scale = *v;
    } else if (*name == "window") {
      o.placement = Placement::OwnWindow;
    } else {
      throw cli::UsageError("unknown flag " + cli::shown(args[i]) + " (see orbelune --help)");
    }
  }
  return o;
}

}  // namespace

void printSaverHelp(std::ostream& out) {
  out << "usage: orbelune [--window | --root | --window-id ID | --fullscreen] [SETTINGS]\n"
         "\n"
         "  --window        a resizable window of its own (the default; q or Escape quits)\n"
         "  --root          draw on the window in $XSCREENSAVER_WINDOW, else the virtual root\n"
         "  --window-id ID  draw on the window ID (hex 0x... or decimal), as a preview\n"
         "  --fullscreen    one full-screen view per monitor\n"
         "  --wayland       on Wayland (layer shell): cover every output; input ends it\n"
         "  --wayland-background\n"
         "                  the same on the background layer, taking no input\n"
         "  --fps           show the frames a second, the frame time and the CPU share\n"
         "  --scale S       pixels a point (default: the screen's Xft.dpi / 96)\n"
         "\n"
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
