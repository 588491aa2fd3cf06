#pragma once
// The figure as a Qt Quick item, for Plasma's wallpaper and lock screen: a
// host of the host core whose frames are the scene's own. At the pacer's
// deadline the item asks the scene for a frame; the scene graph's sync of
// that frame draws the figure into a Cairo image at the window's device pixel
// ratio, which the frame shows as a texture. A scene that renders no frames
// (the item hidden, the window not exposed) draws no figure and arms no timer.
//
// It reads the saver's settings file read-only, as the saver does, and starts
// the figure again when the file changes; it forks, executes, connects and
// writes nothing, so that it may run inside a sandboxed lock screen.
#include <QQuickItem>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <memory>

#include "cairo/cairo_graphics.h"
#include "cairo/cairo_surface.h"
#include "host/host_core.h"

namespace orbelune {

class FigureItem : public QQuickItem {
  Q_OBJECT
  QML_NAMED_ELEMENT(Figure)
  // Frames the figure drew, for a test to see that it moves or rests.
  Q_PROPERTY(int framesDrawn READ framesDrawn)

 public:
  explicit FigureItem(QQuickItem* parent = nullptr);
  ~FigureItem() override;

  int framesDrawn() const { return framesDrawn_.load(); }

 protected:
  QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;
  void itemChange(ItemChange change, const ItemChangeData& value) override;
  void releaseResources() override;

 private:
  // GUI thread: the timer until the pacer's next deadline.
  void scheduleFrame();
  // Render thread, the GUI thread waiting: the frame's figure, when due.
  bool drawFigure(int width, int height, double scale);

  std::unique_ptr<HostCore> core_;
  std::unique_ptr<SessionView> view_;
  CairoSurface surface_;
  std::unique_ptr<CairoGraphics> graphics_;
  double lastSettingsCheck_ = -1.0;
  QTimer deadline_;
  std::atomic<int> framesDrawn_{0};
};

}  // namespace orbelune
