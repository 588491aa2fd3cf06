#include "contracts/clock.h"

#include <chrono>

namespace orbelune {

double MonotonicClock::now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace orbelune
