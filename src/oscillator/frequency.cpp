#include "oscillator/frequency.h"

#include <cmath>

namespace orbelune {
namespace {
// Process-wide, as every view and its sheet share them.
std::int64_t g_sweepMethod = 0;
double g_samplingRate = 44100.0;
double g_sweepRate = 10.0;
}  // namespace

std::int64_t Frequency::sweepMethod() { return g_sweepMethod; }
void Frequency::setSweepMethod(std::int64_t method) { g_sweepMethod = method; }
double Frequency::samplingRate() { return g_samplingRate; }
void Frequency::setSamplingRate(double rate) { g_samplingRate = rate; }
double Frequency::sweepRate() { return g_sweepRate; }
void Frequency::setSweepRate(double seconds) { g_sweepRate = seconds; }

Frequency::Frequency(double frequency1, double frequency2, double initialPhase1, double initialPhase2)
    : _frequency1(frequency1), _frequency2(frequency2), _initialPhase1(initialPhase1), _initialPhase2(initialPhase2) {}

void Frequency::resetPhase() {
  _phaseCount = 0.0;
  _phaseStep = (_frequency1 * kTwoPi) / g_samplingRate;
  _radianInitPhase = kDegreeToRadian * _initialPhase1;
}

double Frequency::valueAtTime(double t) {
  if (g_sweepMethod == 0) {
    double v = std::sin(_radianInitPhase + _phaseCount);
    _phaseCount = _phaseCount + _phaseStep;
    if (_phaseCount > kTwoPi) _phaseCount += -kTwoPi;
    return v;
  }
  double d = (_initialPhase2 == _initialPhase1) ? _initialPhase1 : degreeAtTime(t);
  double f = _frequency1;
  if (_frequency2 != _frequency1) f = _frequency1 + ((_frequency2 - _frequency1) * 0.5 * t) / g_sweepRate;
  return std::sin(d * kDegreeToRadian + f * kTwoPi * t);
}

double Frequency::frequencyAtTime(double t) const {
  if (g_sweepMethod != 0 && _frequency1 != _frequency2) {
    return _frequency1 + ((_frequency2 - _frequency1) * t) / g_sweepRate;
  }
  return _frequency1;
}

double Frequency::degreeAtTime(double t) const {
  if (g_sweepMethod != 0 && _initialPhase1 != _initialPhase2) {
    return _initialPhase1 + ((_initialPhase2 - _initialPhase1) * t) / g_sweepRate;
  }
  return _initialPhase1;
}

}  // namespace orbelune
