#include "contracts/controls.h"


namespace orbelune {
namespace {
ColorWell* g_activeWell = nullptr;

std::map<std::string, ColorWell::Factory>& wellClasses() {
  static std::map<std::string, ColorWell::Factory> classes;
  return classes;
}
}  // namespace

ColorWell::~ColorWell() {
  if (g_activeWell == this) g_activeWell = nullptr;
}

void ColorWell::setColor(const Color& color) {
  color_ = color;
  if (backend_) backend_->showColor(color);
}

void ColorWell::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (backend_) backend_->showEnabled(enabled);
}

void ColorWell::activate(bool exclusive) {
  if (g_activeWell == this) return;
  if (exclusive && g_activeWell) g_activeWell->deactivate();
  g_activeWell = this;
}

void ColorWell::deactivate() {
  if (g_activeWell == this) g_activeWell = nullptr;
}

ColorWell* ColorWell::activeWell() { return g_activeWell; }

void ColorWell::setBackend(ColorWellBackend* backend) {
  backend_ = backend;
  if (backend_) {
    backend_->showColor(color_);
    backend_->showEnabled(enabled_);
  }
}

void ColorWell::registerClass(const std::string& className, Factory factory) {
  wellClasses()[className] = std::move(factory);
}

std::unique_ptr<ColorWell> ColorWell::makeWell(const std::string& className) {
  auto it = wellClasses().find(className);
  if (it != wellClasses().end()) return it->second();
  return std::make_unique<ColorWell>();
}

Application& Application::shared() {
  static Application app;
  return app;
}

void Application::endSheet(Panel* panel) {
  if (sheetHost_) sheetHost_->endSheet(panel);
}

}  // namespace orbelune
