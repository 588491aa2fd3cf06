// The configuration sheet: loading, filling from the live state, the menu,
// slider and check-box actions, and the refresh of the dependent controls.
#include "config_sheet/opaque_color_well.h"
#include "config_sheet/sheet_outlets.h"
#include "platform/color_panel.h"
#include "platform/number_text.h"
#include "view/orbelune_view.h"

namespace orbelune {

Panel* OrbeluneView::configureSheet() {
  if (!_configSheet) {
    MyNoneAlphaColorWell::registerClass();
    if (InterfaceLoader* loader = Application::shared().interfaceLoader()) {
      if (loader->loadNibNamed(sheet_outlets::kInterfaceFile, *this)) _sheetLoader = loader;
    }
  }
  if (_menuSweepMethod) _menuSweepMethod->selectItemAtIndex(_sweep->method);
  if (_textFrequencyX1) _textFrequencyX1->setDoubleValue(_xAxis->frequency1());
  if (_textFrequencyY1) _textFrequencyY1->setDoubleValue(_yAxis->frequency1());
  if (_textInitialPhaseX1) _textInitialPhaseX1->setDoubleValue(_xAxis->initialPhase1());
  if (_textInitialPhaseY1) _textInitialPhaseY1->setDoubleValue(_yAxis->initialPhase1());
  if (_sliderFigureSize) {
    _sliderFigureSize->setDoubleValue(_figureSize);
    _sliderFigureSize->setToolTip(format2f(_figureSize));
  }
  if (_textLineWidth) _textLineWidth->setDoubleValue(_lineWidth);
  if (_cboxFitToScreenSize) _cboxFitToScreenSize->setState(_isFitToScreenSize ? 1 : 0);
  if (_cboxShowCurrentValue) _cboxShowCurrentValue->setState(_isShowCurrentValue ? 1 : 0);
  if (_cboxShowFrequency) _cboxShowFrequency->setState(_isShowFrequency ? 1 : 0);
  if (_cboxShowInitialPhase) _cboxShowInitialPhase->setState(_isShowInitialPhase ? 1 : 0);
  // The wells get copies: a colour picked in a well reaches the view only on OK.
  // A field without a colour shows its built-in colour.
  if (_cwellLineColor) _cwellLineColor->setColor(_lineColor.value_or(Color::yellowColor()));
  if (_cwellTextColor) _cwellTextColor->setColor(_textColor.value_or(Color::whiteColor()));
  if (_cwellBackColor) _cwellBackColor->setColor(_backColor.value_or(Color::blackColor()));
  validateConfig();
  return _configSheet;
}

void OrbeluneView::handlingMenu(Control* sender) {
  if (sender == nullptr || sender != _menuSweepMethod) return;
  _sweep->method = _menuSweepMethod->indexOfSelectedItem();
  validateConfig();
}

void OrbeluneView::handlingSlider(Control* sender) {
  // Any sender's number is taken, unbounded: the slider's own range bounds it.
  if (auto* slider = dynamic_cast<Slider*>(sender)) {
    _figureSize = slider->doubleValue();
    slider->setToolTip(format2f(_figureSize));
  } else if (auto* field = dynamic_cast<TextField*>(sender)) {
    _figureSize = field->doubleValue();
  } else if (auto* menu = dynamic_cast<PopUpButton*>(sender)) {
    _figureSize = static_cast<double>(menu->indexOfSelectedItem());
  } else if (auto* button = dynamic_cast<Button*>(sender)) {
    _figureSize = button->state();
  }
}

void OrbeluneView::handlingCheckBox(Control* sender) {
  if (sender == nullptr) return;
  auto on = [](Control* c) { return static_cast<Button*>(c)->state() != 0; };
  if (sender == _cboxFitToScreenSize) {
    _isFitToScreenSize = on(sender);
  } else if (sender == _cboxShowCurrentValue) {
    _isShowCurrentValue = on(sender);
    validateConfig();
  } else if (sender == _cboxShowFrequency) {
    _isShowFrequency = on(sender);
  } else if (sender == _cboxShowInitialPhase) {
    _isShowInitialPhase = on(sender);
  }
}

void OrbeluneView::validateConfig() {
  SystemColors* colors = Application::shared().systemColors();
  const Color enabled = colors ? colors->controlTextColor() : Color{0, 0, 0, 1};
  const Color disabled = colors ? colors->disabledControlTextColor() : Color{0, 0, 0, 0.4};

  TextField* sweepFields[] = {_textSweepRate, _textFrequencyX2, _textFrequencyY2, _textInitialPhaseX2,
                              _textInitialPhaseY2};
  const double sweepValues[] = {_sweep->sweepTime, _xAxis->frequency2(), _yAxis->frequency2(),
                                _xAxis->initialPhase2(), _yAxis->initialPhase2()};
  const bool sweeping = _sweep->method != 0;
  for (int i = 0; i < 5; ++i) {
    if (!sweepFields[i]) continue;
    if (sweeping) sweepFields[i]->setDoubleValue(sweepValues[i]);
    else sweepFields[i]->setStringValue("-");
  }
  for (TextField* f : sweepFields) {
    if (f) f->setEnabled(sweeping);
  }
  const Color labelColor = sweeping ? enabled : disabled;
  for (TextField* label : {_labelSweepRate, _labelSecond, _labelXFrequencyFromTo, _labelYFrequencyFromTo,
                           _labelXInitialPhaseFromTo, _labelYInitialPhaseFromTo}) {
    if (label) label->setTextColor(labelColor);
  }
  if (_cboxShowFrequency) _cboxShowFrequency->setEnabled(_isShowCurrentValue);
  if (_cboxShowInitialPhase) _cboxShowInitialPhase->setEnabled(_isShowCurrentValue);
  if (_cwellTextColor) _cwellTextColor->setEnabled(_isShowCurrentValue);
  if (_labelTextColor) _labelTextColor->setTextColor(_isShowCurrentValue ? enabled : disabled);
}

bool OrbeluneView::setPanelOutlet(const std::string& name, Panel* panel) {
  if (name != sheet_outlets::kPanel) return false;
  _configSheet = panel;
  return true;
}

bool OrbeluneView::setOutlet(const std::string& name, Control* c) {
  // Each outlet takes only a control of its own kind.
  auto assign = [&](auto*& field) {
    using T = std::remove_reference_t<decltype(*field)>;
    auto* typed = dynamic_cast<T*>(c);
    if (!typed) return false;
    field = typed;
    return true;
  };
  if (name == "_menuSweepMethod") return assign(_menuSweepMethod);
  if (name == "_textSweepRate") return assign(_textSweepRate);
  if (name == "_labelSweepRate") return assign(_labelSweepRate);
  if (name == "_labelSecond") return assign(_labelSecond);
  if (name == "_textFrequencyX1") return assign(_textFrequencyX1);
  if (name == "_textFrequencyX2") return assign(_textFrequencyX2);
  if (name == "_textFrequencyY1") return assign(_textFrequencyY1);
  if (name == "_textFrequencyY2") return assign(_textFrequencyY2);
  if (name == "_textInitialPhaseX1") return assign(_textInitialPhaseX1);
  if (name == "_textInitialPhaseX2") return assign(_textInitialPhaseX2);
  if (name == "_textInitialPhaseY1") return assign(_textInitialPhaseY1);
  if (name == "_textInitialPhaseY2") return assign(_textInitialPhaseY2);
  if (name == "_labelXFrequencyFromTo") return assign(_labelXFrequencyFromTo);
  if (name == "_labelYFrequencyFromTo") return assign(_labelYFrequencyFromTo);
  if (name == "_labelXInitialPhaseFromTo") return assign(_labelXInitialPhaseFromTo);
  if (name == "_labelYInitialPhaseFromTo") return assign(_labelYInitialPhaseFromTo);
  if (name == "_sliderFigureSize") return assign(_sliderFigureSize);
  if (name == "_cboxFitToScreenSize") return assign(_cboxFitToScreenSize);
  if (name == "_textLineWidth") return assign(_textLineWidth);
  if (name == "_cboxShowCurrentValue") return assign(_cboxShowCurrentValue);
  if (name == "_cboxShowFrequency") return assign(_cboxShowFrequency);
  if (name == "_cboxShowInitialPhase") return assign(_cboxShowInitialPhase);
  if (name == "_cwellLineColor") return assign(_cwellLineColor);
  if (name == "_cwellTextColor") return assign(_cwellTextColor);
  if (name == "_labelTextColor") return assign(_labelTextColor);
  if (name == "_cwellBackColor") return assign(_cwellBackColor);
  return false;
}

bool OrbeluneView::performAction(const std::string& action, Control* sender) {
  if (action == "handlingMenu:") handlingMenu(sender);
  else if (action == "handlingSlider:") handlingSlider(sender);
  else if (action == "handlingCheckBox:") handlingCheckBox(sender);
  else if (action == "clickOK:") clickOK(sender);
  else if (action == "controlTextDidChange:") controlTextDidChange(sender);
  else if (action == "controlTextDidEndEditing:") controlTextDidEndEditing(sender);
  else return false;
  return true;
}

}  // namespace orbelune
