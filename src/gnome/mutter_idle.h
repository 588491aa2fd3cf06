#pragma once
// GNOME's idle time, from Mutter over the session bus (GIO).
//
// Does: org.gnome.Mutter.IdleMonitor's idle watch (which fires when the idle
// time crosses the chosen time) and user-active watch (the first input after
// the figure showed), and org.gnome.SessionManager's inhibitors (IsInhibited
// with the idle flag, 8) where that service runs; a bus that closes ends it.
// Does not: inhibit anything, or read org.freedesktop.ScreenSaver (GNOME
// keeps its inhibitors in the session manager).
#include <memory>

#include "base/result.h"
#include "host/host_core.h"
#include "host/idle_source.h"

namespace orbelune {

// A source for `afterSeconds` of idleness; nullptr when the session bus has
// no Mutter idle monitor, or why the monitor there did not answer. Later, a
// closed bus is its dispatch's error; `core` says so when a watch on the
// user's activity cannot be added (a showing then ends on the host's input only).
Result<std::unique_ptr<IdleSource>> makeMutterIdleSource(double afterSeconds, HostCore& core);

}  // namespace orbelune
