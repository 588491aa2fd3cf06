#include "oscillator/frequency.h"

#include <cmath>

namespace orbelune {
Frequency::Frequency(const SweepParameters& sweep, double frequency1, double frequency2, double initialPhase1,
                     double initialPhase2)
    : _sweep(&sweep),
      _frequency1(frequency1), _frequency2(frequency2), _initialPhase1(initialPhase1), _initialPhase2(initialPhase2) {}

void Frequency::resetPhase() {
  _phaseCount = 0.0;
  _phaseStep = (_frequency1 * kTwoPi) / _sweep->samplingRate;
  _radianInitPhase = kDegreeToRadian * _initialPhase1;
}

double Frequency::valueAtTime(double t) {
  if (_sweep->method == 0) {
    double v = std::sin(_radianInitPhase + _phaseCount);
    _phaseCount = _phaseCount + _phaseStep;
    if (_phaseCount > kTwoPi) _phaseCount += -kTwoPi;
    return v;
  }
  double d = (_initialPhase2 == _initialPhase1) ? _initialPhase1 : degreeAtTime(t);
  double f = _frequency1;
  if (_frequency2 != _frequency1) f = _frequency1 + ((_frequency2 - _frequency1) * 0.5 * t) / _sweep->sweepTime;
  return std::sin(d * kDegreeToRadian + f * kTwoPi * t);
}

double Frequency::frequencyAtTime(double t) const {
  if (_sweep->method != 0 && _frequency1 != _frequency2) {
    return _frequency1 + ((_frequency2 - _frequency1) * t) / _sweep->sweepTime;
  }
  return _frequency1;
}

double Frequency::degreeAtTime(double t) const {
  if (_sweep->method != 0 && _initialPhase1 != _initialPhase2) {
    return _initialPhase1 + ((_initialPhase2 - _initialPhase1) * t) / _sweep->sweepTime;
  }
  return _initialPhase1;
}

}  // namespace orbelune
