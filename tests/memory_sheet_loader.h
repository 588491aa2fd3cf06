#pragma once
#include <map>
#include <memory>
#include <string>

#include "sheet/sheet_outlets.h"
#include "memory_controls.h"

namespace orbelune::test {

// Loads "ConfigureSheet" as in-memory controls, wired as the interface file wires
// the real ones: outlets by name, actions to the owner, fields' delegate the owner.
class MemorySheetLoader final : public InterfaceLoader {
 public:
  Result<void> loadInterface(const std::string& name, InterfaceOwner& owner) override {
    ++loads;
    if (failLoading || name != sheet_outlets::kInterfaceFile) return Error{"no interface file " + name};
    objects_.clear();
    panel_ = std::make_unique<MemoryPanel>();
    owner.setPanelOutlet(sheet_outlets::kPanel, panel_.get());
    for (const auto& outlet : sheet_outlets::kOutlets) {
      if (outlet.name == omitOutlet) continue;
      std::unique_ptr<Control> c = make(outlet, owner);
      owner.setOutlet(outlet.name, c.get());
      objects_[outlet.name] = std::move(c);
    }
    auto ok = std::make_unique<MemoryButton>();
    if (connectOk) {
      ok->connect(&owner, "clickOK:");
      owner.actionConnected("clickOK:");
    }
    objects_[sheet_outlets::kOkButton] = std::move(ok);
    return {};
  }
  void releaseObjectsOf(InterfaceOwner&) override {
    objects_.clear();
    panel_.reset();
  }

  template <typename T>
  T& control(const std::string& name) {
    return dynamic_cast<T&>(*objects_.at(name));
  }
  MemoryTextField& field(const std::string& name) { return control<MemoryTextField>(name); }
  MemoryButton& box(const std::string& name) { return control<MemoryButton>(name); }
  ColorWell& well(const std::string& name) { return control<ColorWell>(name); }
  MemoryPanel* panel() { return panel_.get(); }

  bool failLoading = false;
  bool connectOk = true;   // false: a file whose OK button sends nothing
  std::string omitOutlet;  // an outlet the file lacks
  int loads = 0;

 private:
  std::unique_ptr<Control> make(const sheet_outlets::Outlet& outlet, InterfaceOwner& owner) {
    using sheet_outlets::Kind;
    switch (outlet.kind) {
      case Kind::PopUp: {
        auto p = std::make_unique<MemoryPopUpButton>(3);
        p->connect(&owner, outlet.action);
        return p;
      }
      case Kind::Field: {
        auto t = std::make_unique<MemoryTextField>();
        t->connectDelegate(&owner);
        return t;
      }
      case Kind::Label:
        return std::make_unique<MemoryTextField>();
      case Kind::Slider: {
        auto s = std::make_unique<MemorySlider>(0.1, 1.0);
        s->connect(&owner, outlet.action);
        return s;
      }
      case Kind::CheckBox:
      case Kind::PushButton: {
        auto b = std::make_unique<MemoryButton>();
        b->connect(&owner, outlet.action);
        return b;
      }
      case Kind::ColorWell:
        return wellClasses().make(outlet.wellClass);
    }
    return nullptr;
  }

  std::map<std::string, std::unique_ptr<Control>> objects_;
  std::unique_ptr<MemoryPanel> panel_;
};

}  // namespace orbelune::test
