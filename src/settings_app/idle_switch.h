#pragma once
// "Start the saver after [N] minutes" with an on/off switch, in the settings
// app's main window. On writes the XDG autostart entry of `orbelune idle` and
// starts the watcher now; off removes the entry and stops the watcher. The
// minutes are kept in the settings store, where the watcher reads them; a
// change restarts a running watcher so that it takes them. Below it, "Lock
// the screen [N] minutes after the saver starts" with a switch of its own:
// the watcher's lock after the figure, stored as minutes (0 while off).
#include <gtkmm.h>

#include <functional>
#include <memory>
#include <string>

#include "store/screen_saver_defaults.h"

namespace orbelune {

class IdleSwitch : public Gtk::Grid {  // two rows, in columns: the saver's, the lock's
 public:
  using ReportError = std::function<void(const std::string& title, const std::string& detail)>;
  IdleSwitch(std::shared_ptr<ScreenSaverDefaults> store, ReportError report);

 private:
  void onSwitched();
  void onMinutes();
  void onLock();
  // The lock's row acts only while the watcher runs at login.
  void offerLock(bool offered);
  // Stores the minutes; false (reported) when they cannot be written.
  bool storeMinutes();
  void startWatcher();
  // Stops this session's watcher and waits (briefly) for it to end.
  static void stopWatcher();

  std::shared_ptr<ScreenSaverDefaults> store_;
  ReportError report_;
  Gtk::Switch switch_;
  Gtk::Label before_{"Start the saver after"};
  Gtk::SpinButton minutes_;
  Gtk::Label after_{"minutes"};
  Gtk::Switch lockSwitch_;
  Gtk::Label lockBefore_{"Lock the screen"};
  Gtk::SpinButton lockMinutes_;
  Gtk::Label lockAfter_{"minutes after the saver starts"};
  // Whether the entry is in place, as the last change that took effect left it.
  bool on_ = false;
};

}  // namespace orbelune
