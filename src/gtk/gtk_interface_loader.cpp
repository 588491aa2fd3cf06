#include "gtk/gtk_interface_loader.h"

#include <algorithm>
#include <set>

#include "gtk/gtk_controls.h"
#include "base/resource_locator.h"

namespace orbelune {

struct GtkInterfaceLoader::Binding {
  InterfaceOwner* owner = nullptr;
  GtkBuilder* builder = nullptr;
  GObject* context = nullptr;  // the builder's current object: handlers find the binding through it
  GtkWindow* window = nullptr;
  std::unique_ptr<GtkPanel> panel;
  std::vector<std::unique_ptr<GtkControl>> controls;
  std::vector<std::unique_ptr<ColorWell>> wells;
  std::map<GObject*, Control*> senders;
  std::map<GObject*, GtkControl*> widgets;
  std::map<std::string, GtkColorWellFace*> faces;
  std::vector<std::string> outlets;

  // A user action on a widget: sent to the owner unless the program itself
  // changed the widget.
  void dispatch(const char* action, GObject* sender) {
    if (closing) return;
    if (GTK_IS_EVENT_CONTROLLER(sender)) sender = G_OBJECT(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(sender)));
    auto w = widgets.find(sender);
    if (w != widgets.end() && w->second->isUpdating()) return;
    auto s = senders.find(sender);
    owner->performAction(action, s == senders.end() ? nullptr : s->second);
  }

  bool closing = false;

  ~Binding() {
    // The window goes first, while the adapters its handlers reach still live;
    // nothing it sends while it is torn down reaches the owner.
    closing = true;
    if (window) gtk_window_destroy(window);
    faces.clear();
    controls.clear();
    wells.clear();
    if (builder) g_object_unref(builder);
    if (context) g_object_unref(context);
  }
};

namespace {
GtkInterfaceLoader::Binding* bindingOf(gpointer context) {
  return static_cast<GtkInterfaceLoader::Binding*>(g_object_get_data(G_OBJECT(context), "orbelune-binding"));
}
void onMenu(GObject* sender, GParamSpec*, gpointer context) { bindingOf(context)->dispatch("handlingMenu:", sender); }
void onSlider(GObject* sender, gpointer context) { bindingOf(context)->dispatch("handlingSlider:", sender); }
void onCheckBox(GObject* sender, gpointer context) { bindingOf(context)->dispatch("handlingCheckBox:", sender); }
void onOK(GObject* sender, gpointer context) { bindingOf(context)->dispatch("clickOK:", sender); }
void onPreset(GObject* sender, GParamSpec*, gpointer context) { bindingOf(context)->dispatch("handlingPreset:", sender); }
void onSurprise(GObject* sender, gpointer context) { bindingOf(context)->dispatch("clickSurprise:", sender); }
void onTextChanged(GObject* sender, gpointer context) { bindingOf(context)->dispatch("controlTextDidChange:", sender); }
void onEndEditing(GObject* sender, gpointer context) {
  bindingOf(context)->dispatch("controlTextDidEndEditing:", sender);
}

// The handlers a file may name, by the owner's action each one sends.
struct Handler {
  const char* action;
  GCallback callback;
};
const Handler kHandlers[] = {
    {"handlingMenu:", G_CALLBACK(onMenu)},
    {"handlingSlider:", G_CALLBACK(onSlider)},
    {"handlingCheckBox:", G_CALLBACK(onCheckBox)},
    {"clickOK:", G_CALLBACK(onOK)},
    {"handlingPreset:", G_CALLBACK(onPreset)},
    {"clickSurprise:", G_CALLBACK(onSurprise)},
    {"controlTextDidChange:", G_CALLBACK(onTextChanged)},
    {"controlTextDidEndEditing:", G_CALLBACK(onEndEditing)},
};

bool isColorWellButton(GtkWidget* w) { return GTK_IS_BUTTON(w) && gtk_widget_has_css_class(w, "color-well"); }
}  // namespace

GtkInterfaceLoader::GtkInterfaceLoader() = default;
GtkInterfaceLoader::~GtkInterfaceLoader() = default;

Result<void> GtkInterfaceLoader::loadInterface(const std::string& name, InterfaceOwner& owner) {
  auto file = findResource(name + ".ui");
  if (!file) {
    return Error{"the interface file " + name + ".ui was not found (looked in the data folders; set ORBELUNE_DATA_DIR)"};
  }
  auto b = std::make_unique<Binding>();
  b->owner = &owner;
  b->context = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  g_object_set_data(b->context, "orbelune-binding", b.get());

  b->builder = gtk_builder_new();
  GtkBuilderScope* scope = gtk_builder_cscope_new();
  GtkBuilderCScope* cscope = GTK_BUILDER_CSCOPE(scope);
  for (const Handler& h : kHandlers) gtk_builder_cscope_add_callback_symbol(cscope, h.action, h.callback);
  gtk_builder_set_scope(b->builder, scope);
  g_object_unref(scope);
  gtk_builder_set_current_object(b->builder, b->context);

  GError* error = nullptr;
  if (!gtk_builder_add_from_file(b->builder, file->c_str(), &error)) {
    Error failure{"the interface file " + file->string() + " cannot be loaded: " + (error ? error->message : "?")};
    if (error) g_error_free(error);
    // Whatever the builder made before failing goes with it.
    GSList* made = gtk_builder_get_objects(b->builder);
    for (GSList* l = made; l; l = l->next) {
      if (GTK_IS_WINDOW(l->data)) gtk_window_destroy(GTK_WINDOW(l->data));
    }
    g_slist_free(made);
    return failure;
  }

  std::vector<std::pair<std::string, Control*>> made;
  std::string windowId;
  GSList* objects = gtk_builder_get_objects(b->builder);
  std::set<std::string> actions;  // the actions some object's signal sends
  for (GSList* l = objects; l; l = l->next) {
    GObject* obj = G_OBJECT(l->data);
    for (const Handler& h : kHandlers) {
      if (g_signal_handler_find(obj, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, reinterpret_cast<gpointer>(h.callback),
                                nullptr) != 0) {
        actions.insert(h.action);
      }
    }
    if (!GTK_IS_BUILDABLE(obj)) continue;
    const char* idc = gtk_buildable_get_buildable_id(GTK_BUILDABLE(obj));
    if (!idc) continue;
    const std::string id = idc;
    if (GTK_IS_WINDOW(obj)) {
      b->window = GTK_WINDOW(obj);
      b->panel = std::make_unique<GtkPanel>(b->window);
      windowId = id;
      continue;
    }
    if (!GTK_IS_WIDGET(obj)) continue;
    GtkWidget* w = GTK_WIDGET(obj);
    Control* control = nullptr;
    if (isColorWellButton(w)) {
      auto well = wellClasses().make(gtk_widget_get_name(w));
      auto face = std::make_unique<GtkColorWellFace>(GTK_BUTTON(w), *well, chooser_);
      b->faces[id] = face.get();
      control = well.get();
      b->widgets[obj] = face.get();
      b->controls.push_back(std::move(face));
      b->wells.push_back(std::move(well));
    } else {
      std::unique_ptr<GtkControl> c;
      // Keeps the adapter and hands its control side to the owner.
      auto take = [&](auto adapter) {
        control = adapter.get();
        c = std::move(adapter);
      };
      if (GTK_IS_DROP_DOWN(w)) take(std::make_unique<GtkPopUpButton>(GTK_DROP_DOWN(w)));
      else if (GTK_IS_ENTRY(w) || GTK_IS_LABEL(w)) {
        // A number field needs a few characters; a pasted page of them would
        // make every keystroke re-read and redraw it for seconds.
        if (GTK_IS_ENTRY(w)) gtk_entry_set_max_length(GTK_ENTRY(w), kNumberFieldMaxLength);
        take(std::make_unique<GtkTextField>(w));
      }
      else if (GTK_IS_RANGE(w)) take(std::make_unique<GtkSlider>(GTK_RANGE(w)));
      else if (GTK_IS_CHECK_BUTTON(w) || GTK_IS_BUTTON(w)) take(std::make_unique<GtkButtonControl>(w));
      else continue;
      b->widgets[obj] = c.get();
      b->controls.push_back(std::move(c));
    }
    b->senders[obj] = control;
    made.emplace_back(id, control);
  }
  g_slist_free(objects);
  if (!b->window) return Error{"the interface file " + file->string() + " has no window"};
  // Only a file that passed every check reaches the owner: its outlets must
  // never point at objects that a failed load frees again.
  if (owner.setPanelOutlet(windowId, b->panel.get())) b->outlets.push_back(windowId);
  for (const auto& [id, control] : made) {
    if (owner.setOutlet(id, control)) b->outlets.push_back(id);
  }
  for (const std::string& action : actions) owner.actionConnected(action);
  bindings_[&owner] = std::move(b);
  return {};
}

void GtkInterfaceLoader::releaseObjectsOf(InterfaceOwner& owner) { bindings_.erase(&owner); }

GObject* GtkInterfaceLoader::objectOf(InterfaceOwner& owner, const std::string& id) const {
  auto it = bindings_.find(&owner);
  return it == bindings_.end() ? nullptr : gtk_builder_get_object(it->second->builder, id.c_str());
}

std::vector<std::string> GtkInterfaceLoader::connectedOutlets(InterfaceOwner& owner) const {
  auto it = bindings_.find(&owner);
  if (it == bindings_.end()) return {};
  auto out = it->second->outlets;
  std::sort(out.begin(), out.end());
  return out;
}

GtkColorWellFace* GtkInterfaceLoader::wellFaceOf(InterfaceOwner& owner, const std::string& id) const {
  auto it = bindings_.find(&owner);
  if (it == bindings_.end()) return nullptr;
  auto f = it->second->faces.find(id);
  return f == it->second->faces.end() ? nullptr : f->second;
}

}  // namespace orbelune
