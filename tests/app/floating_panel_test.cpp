#include "app/floating_panel.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include <gtest/gtest.h>

namespace tessane {
namespace {

// The preview's own layout: a panel of 89 x 65 at 424, 96 on a larger window.
class MovPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<QWidget>();
    window_->resize(600, 400);
    panel_ = new FloatingPanel(window_.get());
    panel_->setGeometry(kStart);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  struct Outcome {
    QRect geometry;
    std::optional<Qt::CursorShape> cursorDuringDrag;
    bool cursorRestored;
  };

  // Presses on the panel at `at`, moves the mouse by `delta` in two steps and releases, the way
  // a user drags. The moves are sent to the window, which stays put while the panel moves.
  Outcome Drag(QPoint at, QPoint delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               bool escape = false) {
    const QPoint start = panel_->mapToParent(at);
    Outcome out;
    QTimer::singleShot(0, window_.get(), [&] {
      if (const QCursor* cursor = QGuiApplication::overrideCursor())
        out.cursorDuringDrag = cursor->shape();
      QTest::mouseMove(window_.get(), start + delta / 2);
      QTest::mouseMove(window_.get(), start + delta);
      if (escape) QTest::keyClick(window_.get(), Qt::Key_Escape);
      QTest::mouseRelease(window_.get(), Qt::LeftButton, modifiers, start + delta);
    });
    QTest::mousePress(panel_, Qt::LeftButton, modifiers, at);
    QCoreApplication::processEvents();  // delivers the moves when no drag began
    out.geometry = panel_->geometry();
    out.cursorRestored = QGuiApplication::overrideCursor() == nullptr;
    return out;
  }

  static constexpr QRect kStart{424, 96, 89, 65};
  std::unique_ptr<QWidget> window_;
  FloatingPanel* panel_ = nullptr;
};

TEST(MovPanelZone, EdgeBandsAndTheirCursors) {
  const QSize size(89, 65);
  const struct {
    QPoint pos;
    int zone;
    Qt::CursorShape cursor;
  } cases[] = {
      {{44, 32}, 0, Qt::SizeAllCursor},
      {{5, 5}, 0, Qt::SizeAllCursor},
      {{84, 60}, 0, Qt::SizeAllCursor},  // exactly width - 5, height - 5: still inside
      {{4, 32}, 1, Qt::SizeHorCursor},
      {{85, 32}, 2, Qt::SizeHorCursor},
      {{44, 4}, 3, Qt::SizeVerCursor},
      {{44, 61}, 6, Qt::SizeVerCursor},
      {{0, 0}, 4, Qt::SizeFDiagCursor},
      {{88, 0}, 5, Qt::SizeBDiagCursor},
      {{0, 64}, 7, Qt::SizeBDiagCursor},
      {{88, 64}, 8, Qt::SizeFDiagCursor},
      {{-3, -3}, 4, Qt::SizeFDiagCursor},  // a child's coordinates may lie outside
      // The picture passes its own coordinates (it starts 4 pixels in): a press 2 pixels from
      // its right edge is far from the panel's right band and moves the panel.
      {{89 - 8 - 2, 30}, 0, Qt::SizeAllCursor},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FloatingPanel::ZoneAt(c.pos, size), c.zone) << c.pos.x() << "," << c.pos.y();
    EXPECT_EQ(FloatingPanel::CursorForZone(c.zone), c.cursor) << c.zone;
  }
  // On a panel narrower than both bands the right and bottom tests win.
  EXPECT_EQ(FloatingPanel::ZoneAt({2, 2}, QSize(6, 6)), 8);
}

TEST_F(MovPanelTest, DragMovesOrSizesWithinTheWindow) {
  const QPoint mid(44, 32);
  const int min = FloatingPanel::kMinSide;
  const struct {
    const char* what;
    QPoint at, delta;
    QRect expected;
    Qt::CursorShape cursor;
  } cases[] = {
      {"move", mid, {-100, 50}, {324, 146, 89, 65}, Qt::SizeAllCursor},
      {"move stops at the window's edges", mid, {500, -500}, {511, 0, 89, 65}, Qt::SizeAllCursor},
      {"right rim", {87, 32}, {30, 10}, {424, 96, 119, 65}, Qt::SizeHorCursor},
      {"left rim", {1, 32}, {-24, 0}, {400, 96, 113, 65}, Qt::SizeHorCursor},
      {"bottom rim", {44, 63}, {0, 500}, {424, 96, 89, 304}, Qt::SizeVerCursor},
      {"top-left corner, shrunk past the minimum",
       {1, 1},
       {300, 300},
       {424 + 89 - min, 96 + 65 - min, min, min},
       Qt::SizeFDiagCursor},
      {"bottom-left corner", {2, 63}, {-10, 10}, {414, 96, 99, 75}, Qt::SizeBDiagCursor},
  };
  for (const auto& c : cases) {
    panel_->setGeometry(kStart);
    const Outcome out = Drag(c.at, c.delta);
    EXPECT_EQ(out.geometry, c.expected) << c.what;
    EXPECT_EQ(out.cursorDuringDrag, c.cursor) << c.what;
    EXPECT_TRUE(out.cursorRestored) << c.what;
    EXPECT_FALSE(panel_->dragging()) << c.what;
  }
}

TEST_F(MovPanelTest, UseCtrlRequiresCtrlForAnyAction) {
  const QRect moved = kStart.translated(-40, 20);
  const struct {
    bool useCtrl;
    Qt::KeyboardModifiers modifiers;
    QRect expected;
  } cases[] = {
      {false, Qt::NoModifier, moved},     {false, Qt::ShiftModifier, moved},
      {true, Qt::NoModifier, kStart},     {true, Qt::ShiftModifier, kStart},
      {true, Qt::ControlModifier, moved}, {true, Qt::ControlModifier | Qt::ShiftModifier, moved},
  };
  EXPECT_FALSE(panel_->useCTRL());  // the default
  for (const auto& c : cases) {
    panel_->setGeometry(kStart);
    panel_->setUseCTRL(c.useCtrl);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(panel_, &leave);
    const Outcome out = Drag({44, 32}, {-40, 20}, c.modifiers);
    EXPECT_EQ(out.geometry, c.expected) << c.useCtrl << " " << c.modifiers.toInt();
    // A press that starts an action also lights the frame; a refused one leaves it alone.
    EXPECT_EQ(panel_->hovered(), c.expected != kStart);
  }
}

TEST_F(MovPanelTest, HoverFrameFollowsThePointer) {
  QSignalSpy entered(panel_, &FloatingPanel::entered);
  QSignalSpy left(panel_, &FloatingPanel::left);
  const QColor highlight = panel_->palette().color(QPalette::Highlight);
  auto corner = [&] { return panel_->grab().toImage().pixelColor(0, 0); };
  EXPECT_FALSE(panel_->hovered());
  EXPECT_NE(corner(), highlight);

  QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), panel_->mapToGlobal(QPointF(10, 10)));
  QApplication::sendEvent(panel_, &enter);
  EXPECT_TRUE(panel_->hovered());
  ASSERT_EQ(entered.count(), 1);
  EXPECT_EQ(entered.at(0).at(0).value<QObject*>(), panel_);
  for (const QPoint p :
       {QPoint(0, 0), QPoint(88, 0), QPoint(0, 64), QPoint(88, 64), QPoint(44, 0), QPoint(88, 32)})
    EXPECT_EQ(panel_->grab().toImage().pixelColor(p), highlight) << p.x() << "," << p.y();
  EXPECT_NE(panel_->grab().toImage().pixelColor(1, 1), highlight);  // one pixel wide

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(panel_, &leave);
  EXPECT_FALSE(panel_->hovered());
  ASSERT_EQ(left.count(), 1);
  EXPECT_EQ(left.at(0).at(0).value<QObject*>(), panel_);
  EXPECT_NE(corner(), highlight);
}

TEST_F(MovPanelTest, ContentFillsTheInsideAndFollowsResizing) {
  auto* picture = new QLabel;
  panel_->setContent(picture);
  QCoreApplication::processEvents();
  EXPECT_EQ(picture->geometry(), QRect(4, 4, 89 - 8, 65 - 8));
  // A press passed on by the picture in its own coordinates: 2 pixels from its right edge
  // moves the panel.
  panel_->setGeometry(kStart);
  QTimer::singleShot(0, window_.get(), [&] {
    QTest::mouseMove(window_.get(), {400, 200});
    QTest::mouseRelease(window_.get(), Qt::LeftButton, {}, {400, 200});
  });
  QTest::mousePress(window_.get(), Qt::LeftButton, {}, {390, 190});  // sets the test's button state
  panel_->pressAt(Qt::LeftButton, {}, {picture->width() - 2, 20},
                  window_->mapToGlobal(QPoint(390, 190)));
  EXPECT_EQ(panel_->geometry(), kStart.translated(10, 10));
  panel_->resize(150, 100);
  QCoreApplication::processEvents();
  EXPECT_EQ(picture->geometry(), QRect(4, 4, 150 - 8, 100 - 8));
}

TEST_F(MovPanelTest, DragEndsWithoutARelease) {
  enum class End { Escape, MoveWithoutButton, Hide };
  const struct {
    const char* what;
    End end;
    QRect expected;
  } cases[] = {
      {"Escape puts the panel back", End::Escape, kStart},
      {"a move with no button held", End::MoveWithoutButton, kStart.translated(-60, -40)},
      {"the panel is hidden", End::Hide, kStart.translated(-30, -20)},
  };
  for (const auto& c : cases) {
    panel_->setGeometry(kStart);
    panel_->show();
    const QPoint start = panel_->mapToParent(QPoint(44, 32));
    QTimer::singleShot(0, window_.get(), [&] {
      QTest::mouseMove(window_.get(), start + QPoint(-30, -20));
      switch (c.end) {
        case End::Escape:
          QTest::keyClick(window_.get(), Qt::Key_Escape);
          break;
        case End::MoveWithoutButton: {
          const QPointF at = start + QPoint(-60, -40);
          QMouseEvent move(QEvent::MouseMove, at, window_->mapToGlobal(at), Qt::NoButton,
                           Qt::NoButton, Qt::NoModifier);
          QApplication::sendEvent(window_.get(), &move);
          break;
        }
        case End::Hide:
          panel_->hide();
          break;
      }
    });
    QTest::mousePress(panel_, Qt::LeftButton, {}, {44, 32});
    EXPECT_FALSE(panel_->dragging()) << c.what;
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << c.what;
    // A release arriving after the end changes nothing.
    QTest::mouseRelease(window_.get(), Qt::LeftButton, {}, start + QPoint(100, 100));
    EXPECT_EQ(panel_->geometry(), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace tessane
