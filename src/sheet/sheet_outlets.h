#pragma once
#include "settings/settings_keys.h"

namespace orbelune::sheet_outlets {

// What the interface file "ConfigureSheet" holds for the sheet: its outlets, the
// actions they send, the class of each colour well, the setting each control
// shows and what enables it. The sheet's fill, refresh and handlers follow it.
enum class Kind { PopUp, Field, Label, Slider, CheckBox, ColorWell, PushButton };

// What a control's enabled state (a label's text colour) follows.
enum class EnabledBy { Always, Sweep, StatusLine };

struct Outlet {
  const char* name;
  Kind kind;
  const char* action;     // the action the control sends, or "" (fields notify their delegate)
  const char* wellClass;  // colour wells only
  const char* setting = "";  // the store key of the setting it shows and edits, or ""
  EnabledBy enabledBy = EnabledBy::Always;
};

inline constexpr const char* kInterfaceFile = "ConfigureSheet";
inline constexpr const char* kPanel = "_configSheet";
inline constexpr const char* kOpaqueWellClass = "MyNoneAlphaColorWell";
// The OK button is wired to its action but is no outlet of the view.
inline constexpr const char* kOkButton = "okButton";
inline constexpr const char* kPresetMenu = "_menuPreset";

inline constexpr Outlet kOutlets[] = {
    {"_menuSweepMethod", Kind::PopUp, "handlingMenu:", "", keys::kSweepMethod},
    {"_textSweepRate", Kind::Field, "", "", keys::kSweepRate, EnabledBy::Sweep},
    {"_labelSweepRate", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_labelSecond", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_textFrequencyX1", Kind::Field, "", "", keys::kFrequencyX1},
    {"_textFrequencyX2", Kind::Field, "", "", keys::kFrequencyX2, EnabledBy::Sweep},
    {"_textFrequencyY1", Kind::Field, "", "", keys::kFrequencyY1},
    {"_textFrequencyY2", Kind::Field, "", "", keys::kFrequencyY2, EnabledBy::Sweep},
    {"_textInitialPhaseX1", Kind::Field, "", "", keys::kInitialPhaseX},
    {"_textInitialPhaseX2", Kind::Field, "", "", keys::kInitialPhaseX2, EnabledBy::Sweep},
    {"_textInitialPhaseY1", Kind::Field, "", "", keys::kInitialPhaseY},
    {"_textInitialPhaseY2", Kind::Field, "", "", keys::kInitialPhaseY2, EnabledBy::Sweep},
    {"_labelXFrequencyFromTo", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_labelYFrequencyFromTo", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_labelXInitialPhaseFromTo", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_labelYInitialPhaseFromTo", Kind::Label, "", "", "", EnabledBy::Sweep},
    {"_sliderFigureSize", Kind::Slider, "handlingSlider:", "", keys::kFigureSize},
    {"_cboxFitToScreenSize", Kind::CheckBox, "handlingCheckBox:", "", keys::kFitToScreenSize},
    {"_textLineWidth", Kind::Field, "", "", keys::kLineWidth},
    {"_textShuffleMinutes", Kind::Field, "", "", keys::kShuffleMinutes},
    {"_cboxShowCurrentValue", Kind::CheckBox, "handlingCheckBox:", "", keys::kShowCurrentValue},
    {"_cboxShowFrequency", Kind::CheckBox, "handlingCheckBox:", "", keys::kShowFrequency, EnabledBy::StatusLine},
    {"_cboxShowInitialPhase", Kind::CheckBox, "handlingCheckBox:", "", keys::kShowInitialPhase,
     EnabledBy::StatusLine},
    {"_cwellLineColor", Kind::ColorWell, "", "ColorWell", keys::kKeyedLineColor},
    {"_cwellTextColor", Kind::ColorWell, "", "ColorWell", keys::kKeyedTextColor, EnabledBy::StatusLine},
    {"_labelTextColor", Kind::Label, "", "", "", EnabledBy::StatusLine},
    {"_cwellBackColor", Kind::ColorWell, "", kOpaqueWellClass, keys::kKeyedBackColor},
    // Whole figures at once: the gallery, and one drawn at random.
    {"_menuPreset", Kind::PopUp, "handlingPreset:", ""},
    {"_buttonSurprise", Kind::PushButton, "clickSurprise:", ""},
};

}  // namespace orbelune::sheet_outlets
