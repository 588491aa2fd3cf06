#pragma once
// The desktop's own lock screen, asked for over the session bus: GNOME's
// org.gnome.ScreenSaver, else the freedesktop org.freedesktop.ScreenSaver
// (KDE's). The figure does not show under those locks: their lock screens
// are drawn by the shell itself and run no client's pictures.
#include <ostream>
#include <string>

namespace orbelune {

enum class DesktopLock {
  Unlocked,     // locked, and the user unlocked again
  Unavailable,  // neither interface answered: nothing was locked
  Failed,       // the desktop refused, or the bus went while locked (said)
};

// Asks the desktop to lock, says in one line that the figure does not show
// under that lock, and waits until its screen saver says it is no longer
// active. `which` gets the name of the desktop that locked.
DesktopLock lockThroughDesktop(std::string& which, std::ostream& err);

}  // namespace orbelune
