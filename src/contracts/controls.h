#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "contracts/color.h"

namespace orbelune {

// The controls a configuration sheet is made of, as the sheet's logic sees them.
// A toolkit backend implements them over real widgets; the in-memory ones serve
// unit tests. Setting a value from the program never sends the control's action.

class Control {
 public:
  virtual ~Control() = default;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
};

class PopUpButton : public Control {
 public:
  virtual void selectItem(std::int64_t index) = 0;
  // -1 when no item is selected (an index with no item was selected).
  virtual std::int64_t selectedIndex() const = 0;
  // Replaces the items (a menu the program fills, such as the presets).
  virtual void setItems(const std::vector<std::string>& items) = 0;
};

// An editable number field, or a label (which only has its text colour changed).
class TextField : public Control {
 public:
  // Shows the number as "%.2f", with a decimal point whatever the locale.
  virtual void setDoubleValue(double value) = 0;
  // The number the text stands for, read as fieldNumber reads it: a comma is
  // a decimal point, a number too large for a double is infinity of its sign,
  // a text that begins with no number is 0.
  virtual double doubleValue() const = 0;
  virtual void setStringValue(const std::string& text) = 0;
  virtual std::string stringValue() const = 0;
  virtual void setTextColor(const Color& color) = 0;
};

class Slider : public Control {
 public:
  virtual void setDoubleValue(double value) = 0;
  virtual double doubleValue() const = 0;
  virtual void setToolTip(const std::string& text) = 0;
  virtual std::string toolTip() const = 0;
};

// A check box: state 1 on, 0 off, -1 mixed.
class Button : public Control {
 public:
  virtual void setState(int state) = 0;
  virtual int state() const = 0;
};

// What a toolkit shows of a colour well.
class ColorWellBackend {
 public:
  virtual ~ColorWellBackend() = default;
  virtual void showColor(const Color& color) = 0;
  virtual void showEnabled(bool enabled) = 0;
};

class ColorPanel;

// A colour well. The wells of a sheet share the colour panel its host handed
// it; the well the panel serves is the active one. Subclasses may change what
// activation does; the interface file names a well's class, which its loader
// makes from the classes registered with it (ColorWellClasses).
class ColorWell : public Control {
 public:
  ColorWell() = default;
  ~ColorWell() override;
  ColorWell(const ColorWell&) = delete;
  ColorWell& operator=(const ColorWell&) = delete;

  void setColor(const Color& color);
  Color color() const { return color_; }
  void setEnabled(bool enabled) override;
  bool isEnabled() const override { return enabled_; }

  // The panel serving the well (set by the sheet that takes the well as an
  // outlet), or nullptr: a well without a panel is never active.
  void setPanel(ColorPanel* panel);
  ColorPanel* panel() const { return panel_; }

  // The user clicked the well: it becomes its panel's active well (deactivating
  // the active one first when `exclusive`).
  virtual void activate(bool exclusive);
  // The well stops being served by the panel.
  virtual void deactivate();
  bool isActive() const;

  void setBackend(ColorWellBackend* backend);

  using Factory = std::function<std::unique_ptr<ColorWell>()>;

 private:
  Color color_ = Color::white();
  bool enabled_ = true;
  ColorWellBackend* backend_ = nullptr;
  ColorPanel* panel_ = nullptr;
};

// The colour-well classes an interface loader can make, by the class name an
// interface file gives a well.
class ColorWellClasses {
 public:
  void add(const std::string& className, ColorWell::Factory factory) { factories_[className] = std::move(factory); }
  bool has(const std::string& className) const { return factories_.count(className) != 0; }
  // A well of the named class; a plain well for an unknown or empty name.
  std::unique_ptr<ColorWell> make(const std::string& className) const;

 private:
  std::map<std::string, ColorWell::Factory> factories_;
};

// The theme's text colours for enabled and disabled controls.
class SystemColors {
 public:
  virtual ~SystemColors() = default;
  virtual Color controlTextColor() = 0;
  virtual Color disabledControlTextColor() = 0;
};

// The sheet panel a view hands to its host.
class Panel {
 public:
  virtual ~Panel() = default;
};

// The host side of a sheet and the user-facing reports a view may make.
class SheetHost {
 public:
  virtual ~SheetHost() = default;
  virtual void endSheet(Panel* panel) = 0;
  // A failure the user has to know about (a settings file that could not be written).
  virtual void presentError(const std::string& message) = 0;
};

// The object that owns an interface file's objects: outlets are filled by name
// and actions are sent by name, as the file names them.
class InterfaceOwner {
 public:
  virtual ~InterfaceOwner() = default;
  // False when the owner has no outlet of that name or kind.
  virtual bool setOutlet(const std::string& name, Control* control) = 0;
  virtual bool setPanelOutlet(const std::string& name, Panel* panel) = 0;
  // Returns false for an action the owner does not have.
  virtual bool performAction(const std::string& action, Control* sender) = 0;
  // Told by the loader, with the outlets, of each action a control of the file
  // sends, so that an owner can refuse a file missing one it cannot do without.
  virtual void actionConnected(const std::string& action) = 0;
};

// Loads interface files. A host makes its platform's loader (the GTK backend's
// in the settings app) and hands it to its sheets; without one, nothing loads.
class InterfaceLoader {
 public:
  virtual ~InterfaceLoader() = default;
  // Creates the file's objects, keeps them alive for the owner's lifetime and
  // connects outlets and actions. An error when the file is missing or broken.
  virtual Result<void> loadInterface(const std::string& name, InterfaceOwner& owner) = 0;
  // Called when an owner goes away: its objects are released.
  virtual void releaseObjectsOf(InterfaceOwner& owner) = 0;

  // The colour-well classes this loader makes for the wells of its files.
  ColorWellClasses& wellClasses() { return wellClasses_; }

 private:
  ColorWellClasses wellClasses_;
};

}  // namespace orbelune
