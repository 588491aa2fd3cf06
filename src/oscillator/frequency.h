#pragma once
#include <cstdint>

#include "oscillator/sweep_parameters.h"

namespace orbelune {

// One sine source of the figure: fixed frequency and phase by phase accumulation,
// or a linear sweep from (frequency1, initialPhase1) to (frequency2, initialPhase2)
// over the sweep time, in closed form. The sweep method, sampling rate and sweep
// time come from the sweep parameters it shares with the other oscillators of
// its host; they must outlive it.
class Frequency {
 public:
  Frequency(const SweepParameters& sweep, double frequency1, double frequency2, double initialPhase1,
            double initialPhase2);

  void resetPhase();
  double valueAtTime(double t);
  double frequencyAtTime(double t) const;
  double degreeAtTime(double t) const;

  double frequency1() const { return _frequency1; }
  void setFrequency1(double v) { _frequency1 = v; }
  double frequency2() const { return _frequency2; }
  void setFrequency2(double v) { _frequency2 = v; }
  double initialPhase1() const { return _initialPhase1; }
  void setInitialPhase1(double v) { _initialPhase1 = v; }
  double initialPhase2() const { return _initialPhase2; }
  void setInitialPhase2(double v) { _initialPhase2 = v; }

  double phaseCount() const { return _phaseCount; }
  double phaseStep() const { return _phaseStep; }
  double radianInitPhase() const { return _radianInitPhase; }

  static constexpr double kTwoPi = 6.283185307179586;
  static constexpr double kDegreeToRadian = 0.017453292519943295;

 private:
  const SweepParameters* _sweep;
  double _phaseCount = 0.0;
  double _phaseStep = 0.0;
  double _radianInitPhase = 0.0;
  double _frequency1;
  double _frequency2;
  double _initialPhase1;
  double _initialPhase2;
};

}  // namespace orbelune
