#pragma once
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "contracts/controls.h"
#include "gtk/gtk_controls.h"

namespace orbelune {

class GtkControl;
class GtkColorWellFace;

// Loads interface files (GtkBuilder XML named NAME.ui, found through the
// resource directories) for their owners. Every object with an id becomes a
// control and is handed to the owner's outlet of that name; the handlers the
// file names are the owner's actions and are resolved by name; buttons styled
// "color-well" become colour wells of the class the widget's name gives (from
// the classes registered with this loader), and open this loader's chooser.
class GtkInterfaceLoader final : public InterfaceLoader {
 public:
  // The most characters an entry of a loaded file takes: any number a field
  // reads fits, with room for an exponent.
  static constexpr int kNumberFieldMaxLength = 32;

  GtkInterfaceLoader();
  ~GtkInterfaceLoader() override;

  Result<void> loadInterface(const std::string& name, InterfaceOwner& owner) override;
  void releaseObjectsOf(InterfaceOwner& owner) override;

  ColorChooserDialog& colorChooser() { return chooser_; }
  // For tests: an owner's object by its id, and the outlets the owner accepted.
  GObject* objectOf(InterfaceOwner& owner, const std::string& id) const;
  std::vector<std::string> connectedOutlets(InterfaceOwner& owner) const;
  GtkColorWellFace* wellFaceOf(InterfaceOwner& owner, const std::string& id) const;

  // Called by the builder's handlers; public for the C callbacks only.
  struct Binding;

 private:
  ColorChooserDialog chooser_;  // before the bindings, whose well faces open it
  std::map<InterfaceOwner*, std::unique_ptr<Binding>> bindings_;
};

}  // namespace orbelune
