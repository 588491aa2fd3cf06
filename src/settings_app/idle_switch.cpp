#include "settings_app/idle_switch.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "activation/autostart_entry.h"
#include "activation/watcher_stop.h"
#include "settings/start_after.h"

namespace orbelune {
namespace {

// The orbelune program beside this one (installed or built together), else
// the one on the PATH.
std::filesystem::path orbeluneProgram() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto beside = self.parent_path() / "orbelune";
    if (access(beside.c_str(), X_OK) == 0) return beside;
  }
  const std::string found = Glib::find_program_in_path("orbelune");
  return found.empty() ? std::filesystem::path("orbelune") : std::filesystem::path(found);
}

}  // namespace

IdleSwitch::IdleSwitch(std::shared_ptr<ScreenSaverDefaults> store, ReportError report)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 8), store_(std::move(store)), report_(std::move(report)) {
  const SettingDescriptor& after = StartAfter::setting();
  double minutes = after.builtIn;
  if (store_) minutes = StartAfter::storedMinutes(*store_).value_or(minutes);
  // Whole minutes within the watcher's range.
  const double fewest = std::ceil(after.low);
  const double most = std::floor(after.high);
  minutes_.set_adjustment(Gtk::Adjustment::create(std::clamp(minutes, fewest, most), fewest, most, 1, 10));
  minutes_.set_digits(0);
  minutes_.set_numeric(true);
  minutes_.set_value(minutes);
  std::error_code ec;
  on_ = std::filesystem::exists(idleAutostartFile(), ec);
  switch_.set_active(on_);
  switch_.set_valign(Gtk::Align::CENTER);
  switch_.set_tooltip_text("Starts the saver by itself whenever the computer is idle, from the next login on too");
  append(switch_);
  append(before_);
  append(minutes_);
  append(after_);
  switch_.property_active().signal_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onSwitched));
  minutes_.signal_value_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onMinutes));
}

bool IdleSwitch::storeMinutes() {
  if (!store_) {
    report_("The minutes could not be saved", "There is no settings folder (neither XDG_CONFIG_HOME nor HOME is set).");
    return false;
  }
  store_->setObject(minutes_.get_value(), StartAfter::setting().key);
  if (auto written = store_->synchronize(); !written) {
    report_("The minutes could not be saved", written.error().message);
    return false;
  }
  return true;
}

void IdleSwitch::onSwitched() {
  // Acts only on a change from what was last put in place: the switch set back
  // after a failed change below is none, however late GTK reports it.
  const bool wanted = switch_.get_active();
  if (wanted == on_) return;
  if (!wanted) {
    stopWatcher();
    if (auto removed = removeIdleAutostart(); !removed) {
      report_("The saver still starts at login", removed.error().message);
      switch_.set_active(true);
      startWatcher();
      return;
    }
    on_ = false;
    return;
  }
  const auto program = orbeluneProgram();
  if (auto written = writeIdleAutostart(program); !written) {
    report_("The saver cannot start by itself", written.error().message);
    switch_.set_active(false);
    return;
  }
  if (!storeMinutes()) {
    // Without its minutes the entry would start a watcher the switch says is off.
    (void)removeIdleAutostart();
    switch_.set_active(false);
    return;
  }
  on_ = true;
  stopWatcher();
  startWatcher();
}

void IdleSwitch::onMinutes() {
  if (!storeMinutes() || !switch_.get_active()) return;
  stopWatcher();
  startWatcher();
}

void IdleSwitch::startWatcher() {
  const std::vector<std::string> argv{orbeluneProgram().string(), "idle"};
  try {
    Glib::Pid pid = 0;
    Glib::spawn_async("", argv, Glib::SpawnFlags::DO_NOT_REAP_CHILD, {}, &pid);
    // Reaped when it ends while the app runs; it outlives the app otherwise.
    Glib::signal_child_watch().connect([](Glib::Pid child, int) { Glib::spawn_close_pid(child); }, pid);
  } catch (const Glib::Error& e) {
    report_("The saver cannot start by itself", e.what());
  }
}

void IdleSwitch::stopWatcher() {
  // A process the lock names that is not this user's watcher is left alone.
  (void)stopIdleWatcher();
}

}  // namespace orbelune
