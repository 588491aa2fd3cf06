// orbelune-settings: a live preview of the saver and its configuration sheet.
#include <gtkmm.h>

#include <cairo.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "bundle_info.h"
#include "contracts/color_panel.h"
#include "sheet/sheet_controller.h"
#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"
#include "gtk/gtk_controls.h"
#include "gtk/gtk_interface_loader.h"
#include "settings_app/idle_switch.h"
#include "base/resource_locator.h"
#include "host/frame_pacer.h"
#include "host/store_warnings.h"
#include "session/saver_session.h"
#include "store/screen_saver_defaults.h"
#include "view/orbelune_view.h"

namespace orbelune {
namespace {

// What the settings app owns and hands its preview and its sheet: the settings
// store, opened once, and the sheet's loader, theme colours and colour panel.
struct SettingsServices {
  std::shared_ptr<ScreenSaverDefaults> store;
  ColorPanel colorPanel;            // before the loader, whose chooser follows it
  GtkInterfaceLoader loader;
  std::unique_ptr<GtkSystemColors> colors;  // made once GTK has started

  SheetContext sheetContext(SheetHost* host) { return {&loader, host, colors.get(), &colorPanel}; }
  // The store's warnings go where the app's other diagnostics go.
  void printWarnings() { sayStoreWarnings(store.get(), std::cerr); }
};

// The preview: a view of a saver session (isPreview YES) drawn exactly as the
// saver draws it, paced as the saver's hosts pace it (absolute deadlines at
// the view's interval, skipping rather than bursting after a stall), into an
// off-screen picture that the widget shows.
class PreviewArea : public Gtk::DrawingArea {
 public:
  explicit PreviewArea(const std::shared_ptr<ScreenSaverDefaults>& store) : session_({}, nullptr, store) {
    set_content_width(480);
    set_content_height(270);
    set_hexpand(true);
    set_vexpand(true);
    set_draw_func(sigc::mem_fun(*this, &PreviewArea::onDraw));
    view_ = session_.makeView(Size{480, 270}, true);
    pacer_.setInterval(session_.interval());
    scheduleTick();
  }
  ~PreviewArea() override {
    tick_.disconnect();
    view_->view().stopAnimation();
    graphics_.reset();
  }
  OrbeluneView& view() { return view_->view(); }
  // Starts the figure again from its settings, as a saver started now would
  // show them: the sheet's edits change a running figure without restarting it.
  void restart() {
    view().stopAnimation();
    view().startAnimation();
  }

 private:
  void ensureSurface(int w, int h) {
    if (surface_ && cairo_image_surface_get_width(surface_.get()) == w &&
        cairo_image_surface_get_height(surface_.get()) == h) {
      return;
    }
    graphics_.reset();
    surface_ = makeImageSurface(CAIRO_FORMAT_ARGB32, w, h);
    if (!surface_) return;
    graphics_ = std::make_unique<CairoGraphics>(surface_.get());
    view_->resize(Size{static_cast<double>(w), static_cast<double>(h)});
  }
  // One wake-up at the pacer's next deadline.
  void scheduleTick() {
    tick_ = Glib::signal_timeout().connect(sigc::mem_fun(*this, &PreviewArea::onTick),
                                           static_cast<unsigned>(pacer_.timeoutMs(clock_.now())));
  }
  bool onTick() {
    if (pacer_.due(clock_.now())) {
      const int w = std::max(get_width(), 1), h = std::max(get_height(), 1);
      ensureSurface(w, h);
      // Without a picture this size, the next tick tries again.
      if (graphics_ && view_->drawFrame(*graphics_) == DrawOutcome::Drawn) queue_draw();
      pacer_.advance(clock_.now());
    }
    scheduleTick();
    return false;  // this timeout is done; the next one is set
  }
  void onDraw(const Cairo::RefPtr<Cairo::Context>& cr, int, int) {
    if (!surface_) {
      cr->set_source_rgb(0, 0, 0);
      cr->paint();
      return;
    }
    cairo_set_source_surface(cr->cobj(), surface_.get(), 0, 0);
    cairo_paint(cr->cobj());
  }

  SaverSession session_;
  MonotonicClock clock_;
  FramePacer pacer_{session_.interval(), clock_.now()};
  std::unique_ptr<SessionView> view_;
  CairoSurface surface_;
  std::unique_ptr<CairoGraphics> graphics_;  // after the surface it draws on
  sigc::connection tick_;
};

class SettingsWindow : public Gtk::ApplicationWindow, public SheetHost {
 public:
  explicit SettingsWindow(SettingsServices& services)
      : services_(services),
        box_(Gtk::Orientation::VERTICAL, 12),
        preview_(services.store),
        bottom_(Gtk::Orientation::HORIZONTAL, 12),
        idle_(services.store, [this](const std::string& title, const std::string& detail) { showMessage(title, detail); }),
        options_("Options…") {
    services_.printWarnings();
    set_title("Orbelune");
    set_default_size(640, 440);
    box_.set_margin(12);
    options_.set_halign(Gtk::Align::END);
    options_.set_hexpand(true);
    options_.signal_clicked().connect(sigc::mem_fun(*this, &SettingsWindow::onOptions));
    bottom_.append(idle_);
    bottom_.append(options_);
    box_.append(preview_);
    box_.append(bottom_);
    set_child(box_);
  }

  void endSheet(Panel* panel) override {
    services_.printWarnings();
    if (auto* p = dynamic_cast<GtkPanel*>(panel)) gtk_widget_set_visible(GTK_WIDGET(p->window()), FALSE);
    // What the preview shows from now on is what the saver will show.
    preview_.restart();
  }
  void presentError(const std::string& message) override { showMessage("Settings not saved", message); }

  void onOptions() {
    OrbeluneView& view = preview_.view();
    if (!view.hasConfigureSheet()) return;
    if (!sheet_) sheet_ = std::make_unique<SheetController>(view, services_.sheetContext(this), services_.store);
    auto configured = sheet_->configureSheet();
    if (!configured) {
      showMessage("The options cannot be shown", configured.error().message);
      return;
    }
    auto* panel = dynamic_cast<GtkPanel*>(*configured);
    if (!panel) {
      showMessage("The options cannot be shown", "the options are no GTK window");
      return;
    }
    GtkWindow* sheet = panel->window();
    gtk_window_set_transient_for(sheet, GTK_WINDOW(gobj()));
    gtk_window_set_modal(sheet, TRUE);
    gtk_window_set_deletable(sheet, FALSE);
    if (!g_object_get_data(G_OBJECT(sheet), "orbelune-guarded")) {
      // Like a sheet, it ends only through OK: closing it any other way is refused.
      g_signal_connect(sheet, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer) -> gboolean { return TRUE; }),
                       nullptr);
      g_object_set_data(G_OBJECT(sheet), "orbelune-guarded", GINT_TO_POINTER(1));
    }
    gtk_window_present(sheet);
  }

 private:
  void showMessage(const std::string& title, const std::string& detail) {
    auto* dialog = new Gtk::MessageDialog(*this, title, false, Gtk::MessageType::ERROR, Gtk::ButtonsType::OK, true);
    dialog->set_secondary_text(detail);
    dialog->signal_response().connect([dialog](int) { delete dialog; });
    dialog->show();
  }

  SettingsServices& services_;
  Gtk::Box box_;
  PreviewArea preview_;
  Gtk::Box bottom_;
  IdleSwitch idle_;
  Gtk::Button options_;
  std::unique_ptr<SheetController> sheet_;  // after the preview, whose view it edits
};

}  // namespace
}  // namespace orbelune

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << "usage: orbelune-settings [--data-dir | --version]\n\nShows a live preview of the Orbelune saver and, under Options…,\n"
                   "its settings. OK stores them for every saver started later.\n";
      return 0;
    }
    if (a == "--data-dir") return orbelune::printDataDirectory("orbelune-settings", std::cout, std::cerr);
    if (a == "--version") {
      std::cout << "orbelune-settings " << orbelune::kVersion << "\n" << orbelune::kCopyrightNotice;
      return 0;
    }
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::cerr << "orbelune-settings: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
    return 1;
  }
  auto app = Gtk::Application::create(std::string(orbelune::kBundleIdentifier) + ".Settings");
  orbelune::SettingsServices services;
  services.store = orbelune::ScreenSaverDefaults::forModule(orbelune::kBundleIdentifier);
  app->signal_startup().connect([&] { services.colors = std::make_unique<orbelune::GtkSystemColors>(); });
  return app->make_window_and_run<orbelune::SettingsWindow>(argc, argv, services);
}
