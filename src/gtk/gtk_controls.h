#pragma once
#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "contracts/controls.h"

namespace orbelune {

// The sheet's controls over GTK widgets. Changes made by the program are marked
// as such, so the widget's own signal does not send the control's action back
// (a program-set value is no user action).
class GtkControl {
 public:
  virtual ~GtkControl() = default;
  virtual GtkWidget* widget() const = 0;
  bool isUpdating() const { return updating_ > 0; }

 protected:
  struct Updating {
    explicit Updating(GtkControl& c) : c_(c) { ++c_.updating_; }
    ~Updating() { --c_.updating_; }
    GtkControl& c_;
  };

 private:
  int updating_ = 0;
};

class GtkPopUpButton final : public PopUpButton, public GtkControl {
 public:
  explicit GtkPopUpButton(GtkDropDown* w) : w_(w) {}
  GtkWidget* widget() const override { return GTK_WIDGET(w_); }
  void setEnabled(bool e) override { gtk_widget_set_sensitive(widget(), e); }
  bool isEnabled() const override { return gtk_widget_get_sensitive(widget()); }
  void selectItem(std::int64_t index) override;
  std::int64_t selectedIndex() const override;
  void setItems(const std::vector<std::string>& items) override;

 private:
  GtkDropDown* w_;
};

// An entry, or a label (whose text is only recoloured).
class GtkTextField final : public TextField, public GtkControl {
 public:
  explicit GtkTextField(GtkWidget* w) : w_(w) {}
  GtkWidget* widget() const override { return w_; }
  void setEnabled(bool e) override { gtk_widget_set_sensitive(w_, e); }
  bool isEnabled() const override { return gtk_widget_get_sensitive(w_); }
  void setDoubleValue(double value) override;
  double doubleValue() const override;
  void setStringValue(const std::string& text) override;
  std::string stringValue() const override;
  void setTextColor(const Color& color) override;

 private:
  GtkWidget* w_;
};

class GtkSlider final : public Slider, public GtkControl {
 public:
  explicit GtkSlider(GtkRange* w) : w_(w) {}
  GtkWidget* widget() const override { return GTK_WIDGET(w_); }
  void setEnabled(bool e) override { gtk_widget_set_sensitive(widget(), e); }
  bool isEnabled() const override { return gtk_widget_get_sensitive(widget()); }
  void setDoubleValue(double value) override;
  double doubleValue() const override { return gtk_range_get_value(w_); }
  void setToolTip(const std::string& text) override { gtk_widget_set_tooltip_text(widget(), text.c_str()); }
  std::string toolTip() const override;

 private:
  GtkRange* w_;
};

// A check box (state 1, 0, or -1 when inconsistent), or a push button.
class GtkButtonControl final : public Button, public GtkControl {
 public:
  explicit GtkButtonControl(GtkWidget* w) : w_(w) {}
  GtkWidget* widget() const override { return w_; }
  void setEnabled(bool e) override { gtk_widget_set_sensitive(w_, e); }
  bool isEnabled() const override { return gtk_widget_get_sensitive(w_); }
  void setState(int state) override;
  int state() const override;

 private:
  GtkWidget* w_;
};

class ColorChooserDialog;

// A colour well's face: a button showing the colour. Clicking it activates the
// well and opens its loader's colour chooser, which offers opacity only while
// the well's colour panel shows alpha.
class GtkColorWellFace final : public ColorWellBackend, public GtkControl {
 public:
  GtkColorWellFace(GtkButton* button, ColorWell& well, ColorChooserDialog& chooser);
  ~GtkColorWellFace() override;
  GtkWidget* widget() const override { return GTK_WIDGET(button_); }
  void showColor(const Color& color) override;
  void showEnabled(bool enabled) override { gtk_widget_set_sensitive(widget(), enabled); }
  ColorWell& well() { return well_; }

  // Opens the chooser for this well, as a click does.
  void click();

 private:
  static void onClicked(GtkButton*, gpointer self);
  static void drawSwatch(GtkDrawingArea*, cairo_t* cr, int w, int h, gpointer self);

  GtkButton* button_;
  GtkWidget* swatch_;
  ColorWell& well_;
  ColorChooserDialog& chooser_;
  Color shown_;
};

class GtkPanel final : public Panel {
 public:
  explicit GtkPanel(GtkWindow* window) : window_(window) {}
  GtkWindow* window() const { return window_; }

 private:
  GtkWindow* window_;
};

// The theme's label colours, read from a probe label each time they are asked for.
class GtkSystemColors final : public SystemColors {
 public:
  GtkSystemColors();
  ~GtkSystemColors() override;
  Color controlTextColor() override;
  Color disabledControlTextColor() override;

 private:
  GtkWidget* host_;
  GtkWidget* probe_;
};

// The colour chooser the wells of one interface loader open: it serves the
// active well of the colour panel of the well that opened it last, and offers
// opacity while that panel shows alpha; a well whose panel hides alpha always
// takes the colour opaque. GTK 4.10 and later ask a GtkColorDialog; 4.8 has
// only the (since deprecated) GtkColorChooserDialog. The panel must outlive
// the chooser.
class ColorChooserDialog {
 public:
  ColorChooserDialog() = default;
  ~ColorChooserDialog();
  ColorChooserDialog(const ColorChooserDialog&) = delete;
  ColorChooserDialog& operator=(const ColorChooserDialog&) = delete;

  // Shows the chooser for `well`, when it is its panel's active well.
  void open(ColorWell& well, GtkWidget* near);
  // Whether a chooser was opened and is waiting for an answer.
  bool isOpen() const { return open_; }
  // Whether the open chooser offers opacity.
  bool offersOpacity() const;
  // Answers the open chooser as the user would: with a colour (OK), or
  // without one (cancelled). Used by the dialog itself and by tests.
  void answer(std::optional<Color> chosen);

 private:
  void follow(ColorPanel* panel);
  ColorPanel* panel_ = nullptr;  // the panel served, whose switch the dialog follows
  bool open_ = false;
#if GTK_CHECK_VERSION(4, 10, 0)
  struct Request;
  static void onChosen(GObject* dialog, GAsyncResult* result, gpointer request);
  GtkColorDialog* dialog_ = nullptr;
  Request* request_ = nullptr;  // the choice under way, if any
#else
  static void onResponse(GtkDialog*, int response, gpointer self);
  GtkWidget* dialog_ = nullptr;
#endif
};

}  // namespace orbelune
