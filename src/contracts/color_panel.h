#pragma once
#include <functional>

namespace orbelune {

class ColorWell;

// A colour panel, shared by the colour wells of the sheets a host shows: the
// well it serves is the active one, and its shows-alpha switch says whether it
// offers opacity. The host owns it and hands it to its sheets; it must outlive
// their wells. A toolkit backend listens for changes of the switch and applies
// it to the colour chooser it shows.
class ColorPanel {
 public:
  ColorPanel() = default;
  ColorPanel(const ColorPanel&) = delete;
  ColorPanel& operator=(const ColorPanel&) = delete;

  void setShowsAlpha(bool shows);
  bool showsAlpha() const { return showsAlpha_; }
  void setListener(std::function<void(bool)> listener) { listener_ = std::move(listener); }

  // The well the panel serves, or nullptr. Wells change it as they are
  // activated and deactivated (ColorWell::activate).
  ColorWell* activeWell() const { return activeWell_; }

 private:
  friend class ColorWell;
  bool showsAlpha_ = true;
  std::function<void(bool)> listener_;
  ColorWell* activeWell_ = nullptr;
};

}  // namespace orbelune
