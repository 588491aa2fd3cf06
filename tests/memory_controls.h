#pragma once
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contracts/controls.h"
#include "base/number_text.h"

namespace orbelune {

// Controls that only hold their state, for tests of a sheet's logic. The
// user-side operations (choose, type, click) change the state and send the
// control's action to its owner, as a real widget would.
class MemoryControlBase {
 public:
  void connect(InterfaceOwner* owner, std::string action) {
    owner_ = owner;
    action_ = std::move(action);
  }

 protected:
  void send(Control* self) {
    if (owner_ && !action_.empty()) owner_->performAction(action_, self);
  }
  InterfaceOwner* owner_ = nullptr;
  std::string action_;
};

class MemoryPopUpButton final : public PopUpButton, public MemoryControlBase {
 public:
  explicit MemoryPopUpButton(int items) : items_(items) {}
  void setEnabled(bool e) override { enabled_ = e; }
  bool isEnabled() const override { return enabled_; }
  void selectItem(std::int64_t i) override { selected_ = (i >= 0 && i < items_) ? i : -1; }
  std::int64_t selectedIndex() const override { return selected_; }
  void setItems(const std::vector<std::string>& items) override {
    items_ = static_cast<int>(items.size());
    names_ = items;
  }
  const std::vector<std::string>& items() const { return names_; }
  void userSelects(std::int64_t i) {
    selectItem(i);
    send(this);
  }

 private:
  int items_;
  std::vector<std::string> names_;
  std::int64_t selected_ = 0;
  bool enabled_ = true;
};

class MemoryTextField final : public TextField, public MemoryControlBase {
 public:
  void setEnabled(bool e) override { enabled_ = e; }
  bool isEnabled() const override { return enabled_; }
  void setDoubleValue(double v) override { text_ = format2f(v); }
  double doubleValue() const override { return fieldNumber(text_); }
  void setStringValue(const std::string& t) override { text_ = t; }
  std::string stringValue() const override { return text_; }
  void setTextColor(const Color& c) override { textColor_ = c; }
  std::optional<Color> textColor() const { return textColor_; }

  // The user types one character at a time; each change notifies the delegate.
  void connectDelegate(InterfaceOwner* owner) { delegate_ = owner; }
  void userTypes(const std::string& chars) {
    for (char c : chars) {
      text_ += c;
      if (delegate_) delegate_->performAction("controlTextDidChange:", this);
    }
  }
  void userClears() {
    text_.clear();
    if (delegate_) delegate_->performAction("controlTextDidChange:", this);
  }
  void userEndsEditing() {
    if (delegate_) delegate_->performAction("controlTextDidEndEditing:", this);
  }

 private:
  std::string text_;
  bool enabled_ = true;
  std::optional<Color> textColor_;
  InterfaceOwner* delegate_ = nullptr;
};

class MemorySlider final : public Slider, public MemoryControlBase {
 public:
  MemorySlider(double min, double max) : min_(min), max_(max) {}
  void setEnabled(bool e) override { enabled_ = e; }
  bool isEnabled() const override { return enabled_; }
  void setDoubleValue(double v) override { value_ = std::clamp(v, min_, max_); }
  double doubleValue() const override { return value_; }
  void setToolTip(const std::string& t) override { tip_ = t; }
  std::string toolTip() const override { return tip_; }
  void userDrags(double v) {
    setDoubleValue(v);
    send(this);
  }

 private:
  double min_, max_, value_ = 0.0;
  std::string tip_;
  bool enabled_ = true;
};

class MemoryButton final : public Button, public MemoryControlBase {
 public:
  void setEnabled(bool e) override { enabled_ = e; }
  bool isEnabled() const override { return enabled_; }
  void setState(int s) override { state_ = s; }
  int state() const override { return state_; }
  void userClicks(std::optional<int> newState = std::nullopt) {
    state_ = newState.value_or(state_ ? 0 : 1);
    send(this);
  }

 private:
  int state_ = 0;
  bool enabled_ = true;
};

class MemoryPanel final : public Panel {};

class MemorySystemColors final : public SystemColors {
 public:
  Color controlTextColor() override {
    ++fetches;
    return {0, 0, 0, 1};
  }
  Color disabledControlTextColor() override {
    ++fetches;
    return {0.5, 0.5, 0.5, 1};
  }
  int fetches = 0;
};

class MemorySheetHost final : public SheetHost {
 public:
  void endSheet(Panel* panel) override { ended.push_back(panel); }
  void presentError(const std::string& message) override { errors.push_back(message); }
  std::vector<Panel*> ended;
  std::vector<std::string> errors;
};

}  // namespace orbelune
