#pragma once
#include <functional>

namespace orbelune {

// The process's one colour panel, shared by every colour well. Only its
// shows-alpha switch is modelled here; a toolkit backend listens for changes and
// applies the switch to the colour chooser it shows.
class ColorPanel {
 public:
  static ColorPanel& shared();

  void setShowsAlpha(bool shows);
  bool showsAlpha() const { return showsAlpha_; }
  void setListener(std::function<void(bool)> listener) { listener_ = std::move(listener); }

 private:
  bool showsAlpha_ = true;
  std::function<void(bool)> listener_;
};

}  // namespace orbelune
