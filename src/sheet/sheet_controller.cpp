// The configuration sheet: loading, filling from the view's settings, the menu,
// slider and check-box actions, and the refresh of the dependent controls.
#include "sheet/sheet_controller.h"

#include <string_view>

#include "settings/presets.h"

#include <cstring>

#include "sheet/opaque_color_well.h"
#include "base/number_text.h"
#include "contracts/color_panel.h"
#include "settings/setting_table.h"
#include "view/orbelune_view.h"

namespace orbelune {
using sheet_outlets::EnabledBy;
using sheet_outlets::Kind;
using sheet_outlets::kOutlets;

namespace {
// Whether `control` is of the class an outlet of `kind` holds.
bool fits(Kind kind, Control* control) {
  switch (kind) {
    case Kind::PopUp: return dynamic_cast<PopUpButton*>(control) != nullptr;
    case Kind::Field:
    case Kind::Label: return dynamic_cast<TextField*>(control) != nullptr;
    case Kind::Slider: return dynamic_cast<Slider*>(control) != nullptr;
    case Kind::CheckBox:
    case Kind::PushButton: return dynamic_cast<Button*>(control) != nullptr;
    case Kind::ColorWell: return dynamic_cast<ColorWell*>(control) != nullptr;
  }
  return false;
}
}  // namespace

SheetController::SheetController(OrbeluneView& view, const SheetContext& context,
                                 std::shared_ptr<ScreenSaverDefaults> store)
    : view_(view), context_(context), store_(std::move(store)) {
  // The panel offers opacity until the background well asks it not to.
  if (context_.colorPanel) context_.colorPanel->setShowsAlpha(true);
}

SheetController::~SheetController() {
  if (loader_) loader_->releaseObjectsOf(*this);
}

std::size_t SheetController::outletOf(const Control* control) const {
  if (control == nullptr) return kOutletCount;
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    if (controls_[i] == control) return i;
  }
  return kOutletCount;
}

const SettingDescriptor* SheetController::settingOf(std::size_t i) {
  return i < kOutletCount && *kOutlets[i].setting ? findSetting(kOutlets[i].setting) : nullptr;
}

Result<Panel*> SheetController::configureSheet() {
  if (!panel_) {
    InterfaceLoader* loader = context_.loader;
    if (!loader) return Error{"there is no interface loader"};
    MyNoneAlphaColorWell::registerClass(*loader);
    if (auto loaded = loader->loadInterface(sheet_outlets::kInterfaceFile, *this); !loaded) return loaded.error();
    loader_ = loader;
    // A sheet the user could not end (no OK) or that would show an empty or
    // partial window is refused whole, so the host says it cannot be shown.
    if (auto missing = missingPart()) {
      loader->releaseObjectsOf(*this);
      loader_ = nullptr;
      panel_ = nullptr;
      controls_.fill(nullptr);
      okConnected_ = false;
      return Error{std::string("the interface file ") + sheet_outlets::kInterfaceFile + ".ui has no " + *missing};
    }
  }
  const Settings s = view_.settings();
  fillControls(s, true);
  if (auto* menu = presetMenu()) {
    // The gallery's names, from its one table; nothing chosen yet.
    std::vector<std::string> items{"Choose a figure…"};
    for (const auto& p : presetTable()) items.emplace_back(p.name);
    menu->setItems(items);
    menu->selectItem(0);
  }
  filled_ = s;
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    const SettingDescriptor* d = settingOf(i);
    auto m = d ? d->member<ColorField>() : nullptr;
    if (m && controls_[i]) filled_.value().*m = static_cast<ColorWell*>(controls_[i])->color();
  }
  validateConfig();
  return panel_;
}

void SheetController::fillControls(const Settings& s, bool withWells) {
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    const SettingDescriptor* d = settingOf(i);
    Control* c = controls_[i];
    if (!c || !d) continue;
    if (!withWells && d->kind() == SettingKind::Color) continue;
    // setOutlet took only controls of the outlet's kind, and each outlet shows a
    // setting of the kind its control edits.
    visit(*d, overloaded{
                  [&](std::int64_t Settings::*m) { static_cast<PopUpButton*>(c)->selectItem(s.*m); },
                  [&](double Settings::*m) {
                    if (auto* slider = dynamic_cast<Slider*>(c)) {
                      slider->setDoubleValue(s.*m);
                      slider->setToolTip(format2f(s.*m));
                    } else if (kOutlets[i].enabledBy != EnabledBy::Sweep) {
                      // The sweep group's fields are filled by validateConfig, which knows the method.
                      static_cast<TextField*>(c)->setDoubleValue(s.*m);
                    }
                  },
                  [&](bool Settings::*m) { static_cast<Button*>(c)->setState(s.*m ? 1 : 0); },
                  [&](ColorField Settings::*m) {
                    // The wells get copies: a colour picked in a well reaches the view only on OK.
                    // A setting without a colour shows its built-in colour.
                    static_cast<ColorWell*>(c)->setColor((s.*m).value_or(d->builtInColor));
                  },
              });
  }
}

void SheetController::showWholeFigure(const Settings& figure) {
  // A whole figure at once: the running view starts it now (a new figure
  // under fields that keep their sampling would show the old shape until the
  // sheet ended) and lets the old trail fade out, and the fields show it; OK
  // stores it. The wells keep what they show (a colour picked there reaches
  // the view only on OK).
  view_.changeFigure(figure);
  fillControls(figure, false);
  validateConfig();
}

PopUpButton* SheetController::presetMenu() const {
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    if (std::string_view(kOutlets[i].name) == sheet_outlets::kPresetMenu) return static_cast<PopUpButton*>(controls_[i]);
  }
  return nullptr;
}

void SheetController::handlingPreset(Control* sender) {
  auto* menu = dynamic_cast<PopUpButton*>(sender);
  if (!menu) return;
  const std::int64_t chosen = menu->selectedIndex() - 1;  // the first item chooses nothing
  const auto presets = presetTable();
  if (chosen < 0 || chosen >= static_cast<std::int64_t>(presets.size())) return;
  Settings s = view_.settings();
  presets[static_cast<std::size_t>(chosen)].applyTo(s);
  showWholeFigure(s);
  menu->selectItem(chosen + 1);  // it names the figure shown
}

void SheetController::clickSurprise(Control* sender) {
  (void)sender;
  Settings s = view_.settings();
  surpriseFigure(s, seed_ ? (*seed_)++ : freshSeed());
  showWholeFigure(s);
  if (auto* menu = presetMenu()) menu->selectItem(0);  // the figure shown is none of the gallery's
}

void SheetController::handlingMenu(Control* sender) {
  const std::size_t i = outletOf(sender);
  if (i == kOutletCount || kOutlets[i].kind != Kind::PopUp) return;
  Settings s = view_.settings();
  s.sweepMethod = static_cast<PopUpButton*>(sender)->selectedIndex();
  view_.applySettings(s);
  validateConfig();
}

void SheetController::handlingSlider(Control* sender) {
  // Any sender's number is taken, unbounded: the slider's own range bounds it.
  double size;
  if (auto* slider = dynamic_cast<Slider*>(sender)) {
    size = slider->doubleValue();
    slider->setToolTip(format2f(size));
  } else if (auto* field = dynamic_cast<TextField*>(sender)) {
    size = field->doubleValue();
  } else if (auto* menu = dynamic_cast<PopUpButton*>(sender)) {
    size = static_cast<double>(menu->selectedIndex());
  } else if (auto* button = dynamic_cast<Button*>(sender)) {
    size = button->state();
  } else {
    return;
  }
  Settings s = view_.settings();
  s.figureSize = size;
  view_.applySettings(s);
}

void SheetController::handlingCheckBox(Control* sender) {
  const std::size_t i = outletOf(sender);
  const SettingDescriptor* d = settingOf(i);
  if (!d || kOutlets[i].kind != Kind::CheckBox) return;
  Settings s = view_.settings();
  s.*d->member<bool>() = static_cast<Button*>(sender)->state() != 0;
  view_.applySettings(s);
  // The status line's details are enabled by the status line itself.
  if (d->member<bool>() == &Settings::isShowCurrentValue) validateConfig();
}

void SheetController::validateConfig() {
  SystemColors* colors = context_.colors;
  const Color enabled = colors ? colors->controlTextColor() : Color{0, 0, 0, 1};
  const Color disabled = colors ? colors->disabledControlTextColor() : Color{0, 0, 0, 0.4};
  const Settings s = view_.settings();
  const bool sweeping = s.sweepMethod != 0;

  for (std::size_t i = 0; i < kOutletCount; ++i) {
    Control* c = controls_[i];
    const auto& o = kOutlets[i];
    if (!c || o.enabledBy == EnabledBy::Always) continue;
    const bool on = o.enabledBy == EnabledBy::Sweep ? sweeping : s.isShowCurrentValue;
    if (o.kind == Kind::Label) {
      static_cast<TextField*>(c)->setTextColor(on ? enabled : disabled);
      continue;
    }
    if (o.kind == Kind::Field) {
      // Without a sweep there is no end value to show.
      auto* field = static_cast<TextField*>(c);
      if (sweeping) field->setDoubleValue(s.*settingOf(i)->member<double>());
      else field->setStringValue("-");
    }
    c->setEnabled(on);
  }
}

bool SheetController::setPanelOutlet(const std::string& name, Panel* panel) {
  if (name != sheet_outlets::kPanel) return false;
  panel_ = panel;
  return true;
}

bool SheetController::setOutlet(const std::string& name, Control* control) {
  // Each outlet takes only a control of its own kind.
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    if (name != kOutlets[i].name) continue;
    if (!fits(kOutlets[i].kind, control)) return false;
    controls_[i] = control;
    // The sheet's wells share the panel its host handed it.
    if (kOutlets[i].kind == Kind::ColorWell) static_cast<ColorWell*>(control)->setPanel(context_.colorPanel);
    return true;
  }
  return false;
}

std::optional<std::string> SheetController::missingPart() const {
  if (!panel_) return std::string("window named ") + sheet_outlets::kPanel;
  for (std::size_t i = 0; i < kOutletCount; ++i) {
    if (!controls_[i]) return std::string("control named ") + kOutlets[i].name;
  }
  if (!okConnected_) return std::string("button that sends clickOK:");
  return std::nullopt;
}

void SheetController::actionConnected(const std::string& action) {
  if (action == "clickOK:") okConnected_ = true;
}

bool SheetController::performAction(const std::string& action, Control* sender) {
  if (action == "handlingMenu:") handlingMenu(sender);
  else if (action == "handlingPreset:") handlingPreset(sender);
  else if (action == "clickSurprise:") clickSurprise(sender);
  else if (action == "handlingSlider:") handlingSlider(sender);
  else if (action == "handlingCheckBox:") handlingCheckBox(sender);
  else if (action == "clickOK:") clickOK(sender);
  else if (action == "controlTextDidChange:") controlTextDidChange(sender);
  else if (action == "controlTextDidEndEditing:") controlTextDidEndEditing(sender);
  else return false;
  return true;
}

}  // namespace orbelune
