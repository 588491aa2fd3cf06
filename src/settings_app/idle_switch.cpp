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

// Whole minutes within `row`'s range (its least minute that is on, for a row
// whose 0 is off), showing `minutes`.
void offerMinutes(Gtk::SpinButton& spin, const SettingDescriptor& row, double minutes) {
  const double fewest = std::max(1.0, std::ceil(row.low));
  const double most = std::floor(row.high);
  spin.set_adjustment(Gtk::Adjustment::create(std::clamp(minutes, fewest, most), fewest, most, 1, 10));
  spin.set_digits(0);
  spin.set_numeric(true);
}

}  // namespace

IdleSwitch::IdleSwitch(std::shared_ptr<ScreenSaverDefaults> store, ReportError report)
    : store_(std::move(store)), report_(std::move(report)) {
  set_column_spacing(8);
  set_row_spacing(6);
  const SettingDescriptor& after = StartAfter::setting();
  double minutes = after.builtIn;
  if (store_) minutes = StartAfter::storedMinutes(*store_).value_or(minutes);
  offerMinutes(minutes_, after, minutes);
  minutes_.set_value(minutes);
  // The lock's minutes: what is stored while on, else the minutes offered.
  const double lockSeconds = LockAfter::secondsFrom(store_.get());
  offerMinutes(lockMinutes_, LockAfter::setting(), lockSeconds > 0.0 ? lockSeconds / 60.0 : LockAfter::kOfferedMinutes);
  lockSwitch_.set_active(lockSeconds > 0.0);
  lockSwitch_.set_valign(Gtk::Align::CENTER);
  lockSwitch_.set_tooltip_text("Locks the session (orbelune lock) once the saver has shown this long, and before sleep");
  std::error_code ec;
  on_ = std::filesystem::exists(idleAutostartFile(), ec);
  switch_.set_active(on_);
  switch_.set_valign(Gtk::Align::CENTER);
  switch_.set_tooltip_text("Starts the saver by itself whenever the computer is idle, from the next login on too");
  attach(switch_, 0, 0);
  attach(before_, 1, 0);
  attach(minutes_, 2, 0);
  attach(after_, 3, 0);
  attach(lockSwitch_, 0, 1);
  attach(lockBefore_, 1, 1);
  attach(lockMinutes_, 2, 1);
  attach(lockAfter_, 3, 1);
  for (Gtk::Label* label : {&before_, &after_, &lockBefore_, &lockAfter_}) label->set_halign(Gtk::Align::START);
  offerLock(on_);
  switch_.property_active().signal_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onSwitched));
  minutes_.signal_value_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onMinutes));
  lockSwitch_.property_active().signal_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onLock));
  lockMinutes_.signal_value_changed().connect(sigc::mem_fun(*this, &IdleSwitch::onLock));
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
    offerLock(false);
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
  offerLock(true);
  stopWatcher();
  startWatcher();
}

void IdleSwitch::onMinutes() {
  if (!storeMinutes() || !switch_.get_active()) return;
  stopWatcher();
  startWatcher();
}

void IdleSwitch::offerLock(bool offered) {
  for (Gtk::Widget* w : std::initializer_list<Gtk::Widget*>{&lockSwitch_, &lockBefore_, &lockMinutes_, &lockAfter_}) {
    w->set_sensitive(offered);
  }
}

void IdleSwitch::onLock() {
  if (!store_) {
    report_("The lock could not be saved", "There is no settings folder (neither XDG_CONFIG_HOME nor HOME is set).");
    return;
  }
  store_->setObject(lockSwitch_.get_active() ? lockMinutes_.get_value() : 0.0, LockAfter::setting().key);
  if (auto written = store_->synchronize(); !written) {
    report_("The lock could not be saved", written.error().message);
    return;
  }
  if (!on_) return;
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
