#include "gtk/gtk_controls.h"

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

ColorChooserDialog::~ColorChooserDialog() {
  if (panel_) panel_->setListener(nullptr);
  if (dialog_) gtk_window_destroy(GTK_WINDOW(dialog_));
}

void ColorChooserDialog::open(ColorWell& well, GtkWidget* near) {
  ColorPanel* panel = well.panel();
  if (!panel || panel->activeWell() != &well) return;
  if (!dialog_) {
    dialog_ = gtk_color_chooser_dialog_new("Colours", nullptr);
    gtk_window_set_hide_on_close(GTK_WINDOW(dialog_), TRUE);
    g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), this);
  }
  if (panel_ != panel) {
    if (panel_) panel_->setListener(nullptr);
    panel_ = panel;
    panel_->setListener([this](bool shows) {
      if (dialog_) gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(dialog_), shows);
    });
  }
  if (GtkRoot* root = near ? gtk_widget_get_root(near) : nullptr; root && GTK_IS_WINDOW(root)) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog_), GTK_WINDOW(root));
    gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  }
  gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(dialog_), panel->showsAlpha());
  const Color c = well.color();
  GdkRGBA rgba{static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
               static_cast<float>(c.alpha)};
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(dialog_), &rgba);
  gtk_window_present(GTK_WINDOW(dialog_));
}

void ColorChooserDialog::respond(int response) { onResponse(GTK_DIALOG(dialog_), response, this); }

void ColorChooserDialog::onResponse(GtkDialog*, int response, gpointer self) {
  auto* chooser = static_cast<ColorChooserDialog*>(self);
  ColorWell* well = chooser->panel_ ? chooser->panel_->activeWell() : nullptr;
  if (well && response == GTK_RESPONSE_OK) {
    GdkRGBA rgba;
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(chooser->dialog_), &rgba);
    const bool opaque = !chooser->panel_->showsAlpha();
    well->setColor(Color{rgba.red, rgba.green, rgba.blue, opaque ? 1.0 : static_cast<double>(rgba.alpha)});
  }
  gtk_widget_set_visible(chooser->dialog_, FALSE);
  if (well) well->deactivate();
}

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
