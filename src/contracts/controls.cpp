#include "contracts/controls.h"

#include "contracts/color_panel.h"

namespace orbelune {

ColorWell::~ColorWell() {
  if (panel_ && panel_->activeWell_ == this) panel_->activeWell_ = nullptr;
}

void ColorWell::setColor(const Color& color) {
  color_ = color;
  if (backend_) backend_->showColor(color);
}

void ColorWell::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (backend_) backend_->showEnabled(enabled);
}

void ColorWell::setPanel(ColorPanel* panel) {
  if (panel_ == panel) return;
  if (panel_ && panel_->activeWell_ == this) panel_->activeWell_ = nullptr;
  panel_ = panel;
}

void ColorWell::activate(bool exclusive) {
  if (!panel_ || panel_->activeWell_ == this) return;
  if (exclusive && panel_->activeWell_) panel_->activeWell_->deactivate();
  panel_->activeWell_ = this;
}

void ColorWell::deactivate() {
  if (panel_ && panel_->activeWell_ == this) panel_->activeWell_ = nullptr;
}

bool ColorWell::isActive() const { return panel_ && panel_->activeWell() == this; }

void ColorWell::setBackend(ColorWellBackend* backend) {
  backend_ = backend;
  if (backend_) {
    backend_->showColor(color_);
    backend_->showEnabled(enabled_);
  }
}

std::unique_ptr<ColorWell> ColorWellClasses::make(const std::string& className) const {
  auto it = factories_.find(className);
  if (it != factories_.end()) return it->second();
  return std::make_unique<ColorWell>();
}

}  // namespace orbelune
