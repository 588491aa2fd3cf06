#include "gtk/gtk_controls.h"

#include <algorithm>

#include "contracts/color_panel.h"
#include "base/number_text.h"

namespace orbelune {

void GtkPopUpButton::selectItem(std::int64_t index) {
  Updating u(*this);
  GListModel* model = gtk_drop_down_get_model(w_);
  const auto n = model ? static_cast<std::int64_t>(g_list_model_get_n_items(model)) : 0;
  gtk_drop_down_set_selected(w_, index >= 0 && index < n ? static_cast<guint>(index) : GTK_INVALID_LIST_POSITION);
}

void GtkPopUpButton::setItems(const std::vector<std::string>& items) {
  Updating u(*this);
  std::vector<const char*> strings;
  for (const auto& item : items) strings.push_back(item.c_str());
  strings.push_back(nullptr);
  GtkStringList* list = gtk_string_list_new(strings.data());
  gtk_drop_down_set_model(w_, G_LIST_MODEL(list));
  g_object_unref(list);
}

std::int64_t GtkPopUpButton::selectedIndex() const {
  guint selected = gtk_drop_down_get_selected(w_);
  return selected == GTK_INVALID_LIST_POSITION ? -1 : static_cast<std::int64_t>(selected);
}

void GtkTextField::setDoubleValue(double value) { setStringValue(format2f(value)); }

double GtkTextField::doubleValue() const { return fieldNumber(stringValue()); }

void GtkTextField::setStringValue(const std::string& text) {
  Updating u(*this);
  if (GTK_IS_EDITABLE(w_)) gtk_editable_set_text(GTK_EDITABLE(w_), text.c_str());
  else if (GTK_IS_LABEL(w_)) gtk_label_set_text(GTK_LABEL(w_), text.c_str());
}

std::string GtkTextField::stringValue() const {
  if (GTK_IS_EDITABLE(w_)) return gtk_editable_get_text(GTK_EDITABLE(w_));
  if (GTK_IS_LABEL(w_)) return gtk_label_get_text(GTK_LABEL(w_));
  return {};
}

void GtkTextField::setTextColor(const Color& c) {
  auto to16 = [](double v) { return static_cast<guint16>(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5); };
  PangoAttrList* attrs = pango_attr_list_new();
  pango_attr_list_insert(attrs, pango_attr_foreground_new(to16(c.red), to16(c.green), to16(c.blue)));
  pango_attr_list_insert(attrs, pango_attr_foreground_alpha_new(to16(c.alpha)));
  if (GTK_IS_LABEL(w_)) gtk_label_set_attributes(GTK_LABEL(w_), attrs);
  else if (GTK_IS_ENTRY(w_)) gtk_entry_set_attributes(GTK_ENTRY(w_), attrs);
  pango_attr_list_unref(attrs);
}

void GtkSlider::setDoubleValue(double value) {
  Updating u(*this);
  gtk_range_set_value(w_, value);
}

std::string GtkSlider::toolTip() const {
  const char* t = gtk_widget_get_tooltip_text(widget());
  return t ? t : "";
}

void GtkButtonControl::setState(int state) {
  Updating u(*this);
  if (!GTK_IS_CHECK_BUTTON(w_)) return;
  gtk_check_button_set_inconsistent(GTK_CHECK_BUTTON(w_), state < 0);
  gtk_check_button_set_active(GTK_CHECK_BUTTON(w_), state != 0);
}

int GtkButtonControl::state() const {
  if (!GTK_IS_CHECK_BUTTON(w_)) return 0;
  if (gtk_check_button_get_inconsistent(GTK_CHECK_BUTTON(w_))) return -1;
  return gtk_check_button_get_active(GTK_CHECK_BUTTON(w_)) ? 1 : 0;
}

GtkColorWellFace::GtkColorWellFace(GtkButton* button, ColorWell& well, ColorChooserDialog& chooser)
    : button_(button), well_(well), chooser_(chooser) {
  swatch_ = gtk_drawing_area_new();
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(swatch_), 44);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(swatch_), 18);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(swatch_), drawSwatch, this, nullptr);
  gtk_button_set_child(button_, swatch_);
  g_signal_connect(button_, "clicked", G_CALLBACK(onClicked), this);
  well_.setBackend(this);
}

GtkColorWellFace::~GtkColorWellFace() {
  well_.setBackend(nullptr);
  g_signal_handlers_disconnect_by_data(button_, this);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(swatch_), nullptr, nullptr, nullptr);
}

void GtkColorWellFace::showColor(const Color& color) {
  shown_ = color;
  gtk_widget_queue_draw(swatch_);
}

void GtkColorWellFace::drawSwatch(GtkDrawingArea*, cairo_t* cr, int w, int h, gpointer self) {
  auto* face = static_cast<GtkColorWellFace*>(self);
  // A checkerboard under the colour shows its opacity.
  for (int y = 0; y < h; y += 6) {
    for (int x = 0; x < w; x += 6) {
      double v = ((x / 6 + y / 6) % 2) ? 0.8 : 0.6;
      cairo_set_source_rgb(cr, v, v, v);
      cairo_rectangle(cr, x, y, 6, 6);
      cairo_fill(cr);
    }
  }
  const Color& c = face->shown_;
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
  cairo_paint(cr);
}

void GtkColorWellFace::onClicked(GtkButton*, gpointer self) { static_cast<GtkColorWellFace*>(self)->click(); }

void GtkColorWellFace::click() {
  well_.activate(true);
  chooser_.open(well_, widget());
}

#if GTK_CHECK_VERSION(4, 10, 0)
// One call of gtk_color_dialog_choose_rgba. It outlives the chooser when the
// chooser goes first: `owner` is then cleared, and the answer is dropped.
struct ColorChooserDialog::Request {
  ColorChooserDialog* owner;
  GCancellable* cancellable;
};

#endif

void ColorChooserDialog::follow(ColorPanel* panel) {
  if (panel_ == panel) return;
  if (panel_) panel_->setListener(nullptr);
  panel_ = panel;
#if GTK_CHECK_VERSION(4, 10, 0)
  // The dialog reads the choice at the next open.
  panel_->setListener([this](bool shows) { gtk_color_dialog_set_with_alpha(dialog_, shows); });
#else
  panel_->setListener([this](bool shows) {
    if (dialog_) gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(dialog_), shows);
  });
#endif
}

void ColorChooserDialog::answer(std::optional<Color> chosen) {
  if (!open_) return;
  open_ = false;
  ColorWell* well = panel_ ? panel_->activeWell() : nullptr;
#if GTK_CHECK_VERSION(4, 10, 0)
  if (request_) {
    // Answered here (a test): the dialog still up is dismissed, and its own
    // answer, when it comes, finds no request to act on.
    GCancellable* cancellable = request_->cancellable;
    request_ = nullptr;
    g_cancellable_cancel(cancellable);
  }
#else
  gtk_widget_set_visible(dialog_, FALSE);
#endif
  if (well && chosen) {
    const bool opaque = !panel_->showsAlpha();
    well->setColor(Color{chosen->red, chosen->green, chosen->blue, opaque ? 1.0 : chosen->alpha});
  }
  if (well) well->deactivate();
}

namespace {
GdkRGBA rgbaOf(const Color& c) {
  return GdkRGBA{static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
                 static_cast<float>(c.alpha)};
}
Color colorOf(const GdkRGBA& rgba) { return Color{rgba.red, rgba.green, rgba.blue, rgba.alpha}; }
GtkWindow* windowOf(GtkWidget* near) {
  GtkRoot* root = near ? gtk_widget_get_root(near) : nullptr;
  return root && GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr;
}
}  // namespace

#if GTK_CHECK_VERSION(4, 10, 0)

ColorChooserDialog::~ColorChooserDialog() {
  if (panel_) panel_->setListener(nullptr);
  if (request_) {
    request_->owner = nullptr;
    g_cancellable_cancel(request_->cancellable);
  }
  if (dialog_) g_object_unref(dialog_);
}

bool ColorChooserDialog::offersOpacity() const { return dialog_ && gtk_color_dialog_get_with_alpha(dialog_); }

void ColorChooserDialog::open(ColorWell& well, GtkWidget* near) {
  ColorPanel* panel = well.panel();
  if (!panel || panel->activeWell() != &well) return;
  if (!dialog_) {
    dialog_ = gtk_color_dialog_new();
    gtk_color_dialog_set_title(dialog_, "Colours");
    gtk_color_dialog_set_modal(dialog_, TRUE);
  }
  follow(panel);
  if (request_) {  // a chooser still up for another well gives way
    GCancellable* cancellable = request_->cancellable;
    request_ = nullptr;
    g_cancellable_cancel(cancellable);
  }
  gtk_color_dialog_set_with_alpha(dialog_, panel->showsAlpha());
  const GdkRGBA initial = rgbaOf(well.color());
  request_ = new Request{this, g_cancellable_new()};
  open_ = true;
  gtk_color_dialog_choose_rgba(dialog_, windowOf(near), &initial, request_->cancellable, onChosen, request_);
}

void ColorChooserDialog::onChosen(GObject* dialog, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<Request*>(data);
  GError* error = nullptr;
  GdkRGBA* rgba = gtk_color_dialog_choose_rgba_finish(GTK_COLOR_DIALOG(dialog), result, &error);
  ColorChooserDialog* owner = request->owner;
  if (owner && owner->request_ == request) {
    owner->request_ = nullptr;
    owner->answer(rgba ? std::optional<Color>(colorOf(*rgba)) : std::nullopt);
  }
  if (rgba) gdk_rgba_free(rgba);
  if (error) g_error_free(error);
  g_object_unref(request->cancellable);
  delete request;
}

#else

ColorChooserDialog::~ColorChooserDialog() {
  if (panel_) panel_->setListener(nullptr);
  if (dialog_) gtk_window_destroy(GTK_WINDOW(dialog_));
}

bool ColorChooserDialog::offersOpacity() const {
  return dialog_ && gtk_color_chooser_get_use_alpha(GTK_COLOR_CHOOSER(dialog_));
}

void ColorChooserDialog::open(ColorWell& well, GtkWidget* near) {
  ColorPanel* panel = well.panel();
  if (!panel || panel->activeWell() != &well) return;
  if (!dialog_) {
    dialog_ = gtk_color_chooser_dialog_new("Colours", nullptr);
    gtk_window_set_hide_on_close(GTK_WINDOW(dialog_), TRUE);
    g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), this);
  }
  follow(panel);
  if (GtkWindow* window = windowOf(near)) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog_), window);
    gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  }
  gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(dialog_), panel->showsAlpha());
  const GdkRGBA rgba = rgbaOf(well.color());
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(dialog_), &rgba);
  open_ = true;
  gtk_window_present(GTK_WINDOW(dialog_));
}

void ColorChooserDialog::onResponse(GtkDialog* dialog, int response, gpointer self) {
  std::optional<Color> chosen;
  if (response == GTK_RESPONSE_OK) {
    GdkRGBA rgba;
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(dialog), &rgba);
    chosen = colorOf(rgba);
  }
  static_cast<ColorChooserDialog*>(self)->answer(chosen);
}

#endif

GtkSystemColors::GtkSystemColors() {
  // The theme's style reaches a label only inside a window; this one is never shown.
  host_ = gtk_window_new();
  probe_ = gtk_label_new("");
  gtk_window_set_child(GTK_WINDOW(host_), probe_);
}

GtkSystemColors::~GtkSystemColors() { gtk_window_destroy(GTK_WINDOW(host_)); }

namespace {
Color colorOfProbe(GtkWidget* probe, bool sensitive) {
  gtk_widget_set_sensitive(probe, sensitive);
  GdkRGBA rgba;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_style_context_get_color(gtk_widget_get_style_context(probe), &rgba);
  G_GNUC_END_IGNORE_DEPRECATIONS
  return Color{rgba.red, rgba.green, rgba.blue, rgba.alpha};
}
}  // namespace

Color GtkSystemColors::controlTextColor() { return colorOfProbe(probe_, true); }
Color GtkSystemColors::disabledControlTextColor() { return colorOfProbe(probe_, false); }

}  // namespace orbelune
