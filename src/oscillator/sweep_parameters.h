#pragma once
#include <cstdint>

namespace orbelune {

// What every oscillator of a host's views shares: how they sweep, how often
// they are sampled and how long one leg of the sweep takes. The host owns one
// and hands it to each view it makes, so a sweep change made in one view's
// sheet acts on all of them.
struct SweepParameters {
  // 0: no sweep; any other value sweeps; 2 also warps the sweep time
  // logarithmically. The index of the sheet's sweep-method menu.
  std::int64_t method = 0;
  double samplingRate = 44100.0;  // samples per second, set at each animation start
  double sweepTime = 10.0;        // seconds from the first values to the second
};

}  // namespace orbelune
