// Live editing of the sheet's ten number fields: every keystroke stores the
// bounded number into the live state; the end of editing shows the stored value.
#include "view/orbelune_view.h"

namespace orbelune {
namespace {
constexpr double kSweepRateBounds[2] = {1.0, 86400.0};
// Indexed by whether the field is the line width field.
constexpr double kFieldBounds[2][2] = {{0.1, 1000.0}, {1.0, 10.0}};
}  // namespace

void OrbeluneView::controlTextDidChange(Control* sender) {
  auto* field = dynamic_cast<TextField*>(sender);
  if (!field) return;
  const double v = field->doubleValue();
  double value = v;
  const bool isPhase = field == _textInitialPhaseX1 || field == _textInitialPhaseX2 ||
                       field == _textInitialPhaseY1 || field == _textInitialPhaseY2;
  if (!isPhase) {
    const double* bounds = field == _textSweepRate ? kSweepRateBounds : kFieldBounds[field == _textLineWidth ? 1 : 0];
    if (v < bounds[0]) value = bounds[0];
    else if (v > bounds[1]) value = bounds[1];
  }
  if (field == _textSweepRate) Frequency::setSweepRate(value);
  else if (field == _textFrequencyX1) _xAxis->setFrequency1(value);
  else if (field == _textFrequencyX2) _xAxis->setFrequency2(value);
  else if (field == _textFrequencyY1) _yAxis->setFrequency1(value);
  else if (field == _textFrequencyY2) _yAxis->setFrequency2(value);
  else if (field == _textInitialPhaseX1) _xAxis->setInitialPhase1(value);
  else if (field == _textInitialPhaseX2) _xAxis->setInitialPhase2(value);
  else if (field == _textInitialPhaseY1) _yAxis->setInitialPhase1(value);
  else if (field == _textInitialPhaseY2) _yAxis->setInitialPhase2(value);
  else if (field == _textLineWidth) _lineWidth = value;
}

void OrbeluneView::controlTextDidEndEditing(Control* sender) {
  auto* field = dynamic_cast<TextField*>(sender);
  if (!field) return;
  if (field == _textSweepRate) field->setDoubleValue(Frequency::sweepRate());
  else if (field == _textFrequencyX1) field->setDoubleValue(_xAxis->frequency1());
  else if (field == _textFrequencyX2) field->setDoubleValue(_xAxis->frequency2());
  else if (field == _textFrequencyY1) field->setDoubleValue(_yAxis->frequency1());
  else if (field == _textFrequencyY2) field->setDoubleValue(_yAxis->frequency2());
  else if (field == _textInitialPhaseX1) field->setDoubleValue(_xAxis->initialPhase1());
  else if (field == _textInitialPhaseX2) field->setDoubleValue(_xAxis->initialPhase2());
  else if (field == _textInitialPhaseY1) field->setDoubleValue(_yAxis->initialPhase1());
  else if (field == _textInitialPhaseY2) field->setDoubleValue(_yAxis->initialPhase2());
  else if (field == _textLineWidth) field->setDoubleValue(_lineWidth);
}

}  // namespace orbelune
