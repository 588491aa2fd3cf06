#include "oscillator/oscillator.h"

#include <cmath>

namespace orbelune {
Oscillator::Oscillator(const SweepParameters& sweep, double frequency1, double frequency2, double initialPhase1,
                     double initialPhase2)
    : sweep_(&sweep),
      frequency1_(frequency1), frequency2_(frequency2), initialPhase1_(initialPhase1), initialPhase2_(initialPhase2) {}

void Oscillator::resetPhase() {
  phaseCount_ = 0.0;
  phaseStep_ = (frequency1_ * kTwoPi) / sweep_->samplingRate;
  radianInitPhase_ = kDegreeToRadian * initialPhase1_;
}

double Oscillator::valueAt(double t) {
  if (sweep_->method == 0) {
    double v = std::sin(radianInitPhase_ + phaseCount_);
    phaseCount_ = phaseCount_ + phaseStep_;
    if (phaseCount_ > kTwoPi) phaseCount_ += -kTwoPi;
    return v;
  }
  double d = (initialPhase2_ == initialPhase1_) ? initialPhase1_ : degreeAt(t);
  double f = frequency1_;
  if (frequency2_ != frequency1_) f = frequency1_ + ((frequency2_ - frequency1_) * 0.5 * t) / sweep_->sweepTime;
  return std::sin(d * kDegreeToRadian + f * kTwoPi * t);
}

double Oscillator::frequencyAt(double t) const {
  if (sweep_->method != 0 && frequency1_ != frequency2_) {
    return frequency1_ + ((frequency2_ - frequency1_) * t) / sweep_->sweepTime;
  }
  return frequency1_;
}

double Oscillator::degreeAt(double t) const {
  if (sweep_->method != 0 && initialPhase1_ != initialPhase2_) {
    return initialPhase1_ + ((initialPhase2_ - initialPhase1_) * t) / sweep_->sweepTime;
  }
  return initialPhase1_;
}

}  // namespace orbelune
