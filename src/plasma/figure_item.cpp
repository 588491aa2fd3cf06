#include "plasma/figure_item.h"

#include <QImage>
#include <QQuickWindow>
#include <QSGSimpleTextureNode>
#include <QSGTexture>

#include <cmath>
#include <iostream>

namespace orbelune {
namespace {

// Seconds between two looks at the settings file (one stat each).
constexpr double kSettingsCheckInterval = 1.0;

// The node owns the frame's texture; a new frame's replaces it.
class FigureNode : public QSGSimpleTextureNode {
 public:
  void show(std::unique_ptr<QSGTexture> texture) {
    setTexture(texture.get());
    texture_ = std::move(texture);  // the last frame's goes after it is no longer the node's
  }

 private:
  std::unique_ptr<QSGTexture> texture_;
};

}  // namespace

FigureItem::FigureItem(QQuickItem* parent)
    : QQuickItem(parent),
      // The lock screen may not write: the store is opened read-only, and the
      // saver's own warnings go to the journal with the session's other lines.
      core_(std::make_unique<HostCore>("orbelune wallpaper", SessionOptions{}, InputRules::Mode::NoInput, std::cerr,
                                       nullptr, ScreenSaverDefaults::Access::ReadOnly)) {
  setFlag(ItemHasContents, true);
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&deadline_, &QTimer::timeout, this, &QQuickItem::update);
}

FigureItem::~FigureItem() = default;

void FigureItem::itemChange(ItemChange change, const ItemChangeData& value) {
  QQuickItem::itemChange(change, value);
  // Shown again, or in another window: the next frame draws, and the timer
  // runs again from there.
  if ((change == ItemVisibleHasChanged && value.boolValue) || (change == ItemSceneChange && value.window)) update();
}

void FigureItem::releaseResources() {
  // The scene graph deletes the node with its texture; the image is the
  // item's and stays for the next window.
  deadline_.stop();
}

void FigureItem::scheduleFrame() {
  if (!isVisible() || !window()) return;
  deadline_.start(core_->pacer().timeoutMs(core_->now()));
}

bool FigureItem::drawFigure(int width, int height, double scale) {
  if (!surface_ || cairo_image_surface_get_width(surface_.get()) != width ||
      cairo_image_surface_get_height(surface_.get()) != height) {
    graphics_.reset();
    surface_ = makeImageSurface(CAIRO_FORMAT_ARGB32, width, height);
    if (!surface_) return false;
    graphics_ = std::make_unique<CairoGraphics>(surface_.get());
  }
  const Size size{static_cast<double>(width), static_cast<double>(height)};
  if (!view_) {
    auto view = core_->makeView(size, false, scale);
    if (!view) {
      core_->say(view.error().message);
      return false;
    }
    view_ = std::move(*view);
    lastSettingsCheck_ = core_->now();
  }
  view_->setHostScale(scale);
  view_->resize(size);
  if (const double now = core_->now(); now - lastSettingsCheck_ >= kSettingsCheckInterval) {
    lastSettingsCheck_ = now;
    if (auto settings = core_->changedSettings()) view_->restartWith(*settings);
  }
  if (!view_->drawFrame(*graphics_)) return false;
  cairo_surface_flush(surface_.get());
  return true;
}

QSGNode* FigureItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
  auto* node = static_cast<FigureNode*>(old);
  QQuickWindow* win = window();
  const double scale = win ? win->effectiveDevicePixelRatio() : 1.0;
  const int width = static_cast<int>(std::lround(this->width() * scale));
  const int height = static_cast<int>(std::lround(this->height() * scale));
  if (!win || width <= 0 || height <= 0) {
    delete node;
    return nullptr;
  }
  FramePacer& pacer = core_->pacer();
  const double now = core_->now();
  if (pacer.due(now)) {
    if (drawFigure(width, height, scale)) {
      // The texture is made from the image in this frame, before the next
      // sync draws into it again.
      const QImage image(cairo_image_surface_get_data(surface_.get()), width, height,
                         cairo_image_surface_get_stride(surface_.get()), QImage::Format_ARGB32_Premultiplied);
      std::unique_ptr<QSGTexture> texture(win->createTextureFromImage(image));
      if (texture) {
        if (!node) node = new FigureNode;
        node->show(std::move(texture));
        framesDrawn_.fetch_add(1);
      }
    }
    pacer.advance(now);
  }
  if (node) node->setRect(boundingRect());
  // The next deadline's timer is the GUI thread's.
  QMetaObject::invokeMethod(this, &FigureItem::scheduleFrame, Qt::QueuedConnection);
  return node;
}

}  // namespace orbelune
