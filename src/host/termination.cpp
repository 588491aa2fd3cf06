#include "host/termination.h"

#include <unistd.h>

#include <csignal>

namespace orbelune {
namespace {

void onSignal(int) { _exit(0); }

}  // namespace

void endOnTerminationSignals() {
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

}  // namespace orbelune
