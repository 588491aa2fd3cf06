#pragma once

namespace orbelune::sheet_outlets {

// What the interface file "ConfigureSheet" holds for the view: its outlets, the
// actions they send and the class of each colour well.
enum class Kind { PopUp, Field, Label, Slider, CheckBox, ColorWell, PushButton };

struct Outlet {
  const char* name;
  Kind kind;
  const char* action;     // the action the control sends, or "" (fields notify their delegate)
  const char* wellClass;  // colour wells only
};

inline constexpr const char* kInterfaceFile = "ConfigureSheet";
inline constexpr const char* kPanel = "_configSheet";
inline constexpr const char* kOpaqueWellClass = "MyNoneAlphaColorWell";
// The OK button is wired to its action but is no outlet of the view.
inline constexpr const char* kOkButton = "okButton";

inline constexpr Outlet kOutlets[] = {
    {"_menuSweepMethod", Kind::PopUp, "handlingMenu:", ""},
    {"_textSweepRate", Kind::Field, "", ""},
    {"_labelSweepRate", Kind::Label, "", ""},
    {"_labelSecond", Kind::Label, "", ""},
    {"_textFrequencyX1", Kind::Field, "", ""},
    {"_textFrequencyX2", Kind::Field, "", ""},
    {"_textFrequencyY1", Kind::Field, "", ""},
    {"_textFrequencyY2", Kind::Field, "", ""},
    {"_textInitialPhaseX1", Kind::Field, "", ""},
    {"_textInitialPhaseX2", Kind::Field, "", ""},
    {"_textInitialPhaseY1", Kind::Field, "", ""},
    {"_textInitialPhaseY2", Kind::Field, "", ""},
    {"_labelXFrequencyFromTo", Kind::Label, "", ""},
    {"_labelYFrequencyFromTo", Kind::Label, "", ""},
    {"_labelXInitialPhaseFromTo", Kind::Label, "", ""},
    {"_labelYInitialPhaseFromTo", Kind::Label, "", ""},
    {"_sliderFigureSize", Kind::Slider, "handlingSlider:", ""},
    {"_cboxFitToScreenSize", Kind::CheckBox, "handlingCheckBox:", ""},
    {"_textLineWidth", Kind::Field, "", ""},
    {"_cboxShowCurrentValue", Kind::CheckBox, "handlingCheckBox:", ""},
    {"_cboxShowFrequency", Kind::CheckBox, "handlingCheckBox:", ""},
    {"_cboxShowInitialPhase", Kind::CheckBox, "handlingCheckBox:", ""},
    {"_cwellLineColor", Kind::ColorWell, "", "ColorWell"},
    {"_cwellTextColor", Kind::ColorWell, "", "ColorWell"},
    {"_labelTextColor", Kind::Label, "", ""},
    {"_cwellBackColor", Kind::ColorWell, "", kOpaqueWellClass},
};

}  // namespace orbelune::sheet_outlets
