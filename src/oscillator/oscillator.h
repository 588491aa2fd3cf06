#pragma once
#include <cstdint>

#include "oscillator/sweep_parameters.h"

namespace orbelune {

// One sine source of the figure: fixed frequency and phase by phase accumulation,
// or a linear sweep from (frequency1, initialPhase1) to (frequency2, initialPhase2)
// over the sweep time, in closed form. The sweep method, sampling rate and sweep
// time come from the sweep parameters it shares with the other oscillators of
// its host; they must outlive it.
class Oscillator {
 public:
  Oscillator(const SweepParameters& sweep, double frequency1, double frequency2, double initialPhase1,
            double initialPhase2);

  void resetPhase();
  double valueAt(double t);
  double frequencyAt(double t) const;
  double degreeAt(double t) const;

  double frequency1() const { return frequency1_; }
  void setFrequency1(double v) { frequency1_ = v; }
  double frequency2() const { return frequency2_; }
  void setFrequency2(double v) { frequency2_ = v; }
  double initialPhase1() const { return initialPhase1_; }
  void setInitialPhase1(double v) { initialPhase1_ = v; }
  double initialPhase2() const { return initialPhase2_; }
  void setInitialPhase2(double v) { initialPhase2_ = v; }

  double phaseCount() const { return phaseCount_; }
  double phaseStep() const { return phaseStep_; }
  double radianInitPhase() const { return radianInitPhase_; }

  static constexpr double kTwoPi = 6.283185307179586;
  static constexpr double kDegreeToRadian = 0.017453292519943295;

 private:
  const SweepParameters* sweep_;
  double phaseCount_ = 0.0;
  double phaseStep_ = 0.0;
  double radianInitPhase_ = 0.0;
  double frequency1_;
  double frequency2_;
  double initialPhase1_;
  double initialPhase2_;
};

}  // namespace orbelune
