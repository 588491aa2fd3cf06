#pragma once
// A D-Bus connection of one's own (GIO), dispatched in a GLib main context of
// its own that the host's poll loop drives: nothing runs behind the loop's
// back, and a bus that closes is noticed. The idle monitor's and logind's
// clients each hold one.
#include <gio/gio.h>
#include <poll.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"

namespace orbelune {

class PrivateBus {
 public:
  // A new connection to the session or system bus; or why there is none.
  static Result<std::unique_ptr<PrivateBus>> open(GBusType type);
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  GDBusConnection* connection() const { return connection_; }

  // While one lives, the bus's context is the thread's default: signal
  // subscriptions made then are delivered through dispatch().
  class Scope {
   public:
    explicit Scope(const PrivateBus& bus) : context_(bus.context_) { g_main_context_push_thread_default(context_); }
    ~Scope() { g_main_context_pop_thread_default(context_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    GMainContext* context_;
  };

  // Adds the context's descriptors to `fds` and shortens `timeoutMs` (-1: no
  // limit) to the context's next timeout.
  void prepare(std::vector<pollfd>& fds, int& timeoutMs);
  // Runs what the descriptors prepare() added, as poll left them, brought.
  void dispatch(const std::vector<pollfd>& fds);
  bool closed() const { return closed_; }

 private:
  PrivateBus(GMainContext* context, GDBusConnection* connection);

  static constexpr std::size_t kMaxPolled = 16;
  GMainContext* context_;
  GDBusConnection* connection_;
  gulong closedHandler_ = 0;
  bool closed_ = false;
  gint priority_ = 0;
  std::size_t first_ = 0, count_ = 0;
};

// An error's message, or "no reply" without one; frees the error.
std::string takeMessage(GError* error);

}  // namespace orbelune
