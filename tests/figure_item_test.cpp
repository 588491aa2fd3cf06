// The wallpaper's QML module in an offscreen Qt Quick window, as Plasma loads
// it: `import org.orbelune.figure` from the built module folder, one Figure
// filling the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>
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

// What Plasma's greeter forbids itself (kscreenlocker's seccomp filter):
// opening files to write or create them, sockets, fork and exec, pipes. Each
// fails with EPERM from now on, for the whole process.
bool enterLockScreenSandbox() {
  constexpr std::uint32_t kWriting = O_WRONLY | O_RDWR | O_CREAT;
  auto deny = [](int call) {
    return std::vector<sock_filter>{BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(call), 0, 1),
                                    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM)};
  };
  std::vector<sock_filter> program{
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),  // only this architecture's numbers are known here
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  for (int call : {SYS_socket, SYS_fork, SYS_vfork, SYS_execve, SYS_execveat, SYS_pipe, SYS_pipe2}) {
    const auto rule = deny(call);
    program.insert(program.end(), rule.begin(), rule.end());
  }
  // open's flags are its second argument, openat's its third.
  for (auto [call, flags] : {std::pair{SYS_open, 1}, std::pair{SYS_openat, 2}}) {
    const std::vector<sock_filter> rule{
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(call), 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * flags)),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kWriting, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    program.insert(program.end(), rule.begin(), rule.end());
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

class FigureItemTest : public test::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    scene_ = configHome() / "scene.qml";
    std::ofstream(scene_) << "import org.orbelune.figure\nFigure {}\n";
  }
  void show() {
    view_ = std::make_unique<QQuickView>();
    view_->engine()->addImportPath(QStringLiteral(ORBELUNE_QML_DIR));
    view_->setResizeMode(QQuickView::SizeRootObjectToView);
    view_->setSource(QUrl::fromLocalFile(QString::fromStdString(scene_.string())));
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
  std::filesystem::path scene_;
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

// Run alone (the sandbox stays for the process): ORBELUNE_SANDBOX=1.
TEST_F(FigureItemTest, DrawsInsideTheLockScreensSandboxWithACorruptFile) {
  if (!qEnvironmentVariableIsSet("ORBELUNE_SANDBOX")) GTEST_SKIP() << "run alone with ORBELUNE_SANDBOX=1";
  writeStoreFile("{ \"FigureSize\": ");
  ASSERT_TRUE(enterLockScreenSandbox());
  ASSERT_EQ(::open(storeFile().c_str(), O_WRONLY), -1);  // the sandbox holds
  show();
  ASSERT_TRUE(drawsFrames(10));
  EXPECT_GT(yellowOf(view_->grabWindow()).pixels, 200);
  EXPECT_EQ(readStoreFile(), "{ \"FigureSize\": ");
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
