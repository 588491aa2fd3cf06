// The wallpaper's QML module in an offscreen Qt Quick window, as Plasma loads
// it: `import org.orbelune.figure` from the built module folder, one Figure
// filling the window.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <memory>

#include "store/screen_saver_defaults.h"
#include "test_support.h"

namespace orbelune {
namespace {

// The figure's yellow pixels (the built-in line colour), and how wide the
// columns holding them spread.
struct Yellow {
  int pixels = 0;
  int left = 1 << 30, right = -1;
  int span() const { return right < left ? 0 : right - left + 1; }
};
Yellow yellowOf(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_RGB32);
  Yellow y;
  for (int row = 0; row < image.height(); ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    for (int x = 0; x < image.width(); ++x) {
      if (qRed(line[x]) > 153 && qGreen(line[x]) > 153 && qBlue(line[x]) < 77) {
        ++y.pixels;
        y.left = std::min(y.left, x);
        y.right = std::max(y.right, x);
      }
    }
  }
  return y;
}

class FigureItemTest : public test::IsolatedTest {
 protected:
  void show() {
    view_ = std::make_unique<QQuickView>();
    view_->engine()->addImportPath(QStringLiteral(ORBELUNE_QML_DIR));
    view_->setResizeMode(QQuickView::SizeRootObjectToView);
    const auto scene = configHome() / "scene.qml";
    std::ofstream(scene) << "import org.orbelune.figure\nFigure {}\n";
    view_->setSource(QUrl::fromLocalFile(QString::fromStdString(scene.string())));
    ASSERT_EQ(view_->status(), QQuickView::Ready) << view_->errors().value(0).toString().toStdString();
    view_->resize(320, 200);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  }
  int frames() const { return view_->rootObject()->property("framesDrawn").toInt(); }
  // Waits until the figure drew `more` frames, up to about 3 s. Ten frames
  // (half a second) make a trail long enough to count.
  bool drawsFrames(int more) {
    const int from = frames();
    return QTest::qWaitFor([&] { return frames() >= from + more; }, 3000);
  }
  std::unique_ptr<QQuickView> view_;
};

TEST_F(FigureItemTest, FramesMoveInTheFiguresColourAtTheWindowsPixelRatio) {
  show();
  ASSERT_TRUE(drawsFrames(10));
  const QImage first = view_->grabWindow();
  ASSERT_TRUE(drawsFrames(3));
  const QImage later = view_->grabWindow();
  const double ratio = view_->effectiveDevicePixelRatio();
  EXPECT_EQ(first.width(), std::lround(320 * ratio));
  EXPECT_GT(yellowOf(first).pixels, 200);
  EXPECT_GT(yellowOf(later).pixels, 200);
  EXPECT_NE(first, later);
}

TEST_F(FigureItemTest, ACorruptSettingsFileGivesTheBuiltInFigureAndStaysAsItIs) {
  writeStoreFile("{ \"FigureSize\": ");
  show();
  ASSERT_TRUE(drawsFrames(10));
  EXPECT_GT(yellowOf(view_->grabWindow()).pixels, 200);
  EXPECT_EQ(readStoreFile(), "{ \"FigureSize\": ");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(storeFile().parent_path())) ++entries;
  EXPECT_EQ(entries, 1);  // nothing kept aside, locked or written beside it
}

TEST_F(FigureItemTest, AChangedSettingsFileShowsWithoutARestart) {
  show();
  ASSERT_TRUE(drawsFrames(10));
  const int wide = yellowOf(view_->grabWindow()).span();
  auto store = openStore();
  store->setObject(0.2, "FigureSize");
  ASSERT_TRUE(test::succeeded(store->synchronize()));
  // Looked at once a second; the figure starts again a quarter of the size.
  EXPECT_TRUE(QTest::qWaitFor([&] { return yellowOf(view_->grabWindow()).span() < wide / 2; }, 4000)) << wide;
}

TEST_F(FigureItemTest, NothingIsDrawnWhileTheItemOrItsWindowIsHidden) {
  show();
  ASSERT_TRUE(drawsFrames(2));
  QQuickItem* figure = view_->rootObject();
  figure->setVisible(false);
  QTest::qWait(100);
  int before = frames();
  QTest::qWait(400);
  EXPECT_EQ(frames(), before);
  figure->setVisible(true);
  EXPECT_TRUE(drawsFrames(2));
  view_->hide();
  QTest::qWait(100);
  before = frames();
  QTest::qWait(400);
  EXPECT_EQ(frames(), before);
  view_->show();
  EXPECT_TRUE(drawsFrames(2));
}

}  // namespace
}  // namespace orbelune

int main(int argc, char** argv) {
  // No display: Qt's offscreen platform and the scene graph's software
  // renderer, whose pictures the tests read back.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
