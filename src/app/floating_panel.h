#pragma once
// The floating preview panel: a raised panel the user moves by dragging its inside and resizes by
// dragging its edges or corners, with a highlight frame while the pointer is over it.

#include <QFrame>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QEventLoop;

namespace tessane {

/// A raised panel (1-pixel bevel plus a 3-pixel border, so its content sits 4 pixels inside)
/// that moves and resizes itself within its parent on a mouse press, following the mouse until
/// the button is released.
class FloatingPanel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(bool UseCTRL READ useCTRL WRITE setUseCTRL)

 public:
  /// Width of the border between the bevel and the content.
  static constexpr int kBorderWidth = 3;
  /// Distance of the content from the panel's outer edge (bevel + border).
  static constexpr int kInset = 1 + kBorderWidth;
  /// Depth of the grab bands along the edges, in the coordinates a press is given in.
  static constexpr int kGrabBand = 5;
  /// Smallest side a drag can size the panel down to.
  static constexpr int kMinSide = 2 * kInset + 8;

  explicit FloatingPanel(QWidget* parent = nullptr);
  ~FloatingPanel() override;

  /// When true, a press starts moving or sizing only while Ctrl is held.
  bool useCTRL() const { return useCtrl_; }
  void setUseCTRL(bool on) { useCtrl_ = on; }

  /// Set while the pointer is over the panel or a drag runs; draws the highlight frame.
  bool hovered() const { return hovered_; }
  /// True while a move or size drag follows the mouse.
  bool dragging() const { return dragging_; }

  /// Makes `content` fill the panel inside its bevel and border (the panel takes it as a child).
  void setContent(QWidget* content);

  /// Handles a press as the panel's own: under the UseCTRL rule, picks the zone from `pos`,
  /// shows its cursor and moves or sizes the panel until the button is released. `pos` is used
  /// as given (a child may pass its own coordinates); `globalPos` is where the pointer is on the
  /// screen, the current cursor position when omitted. Returns when the drag has ended.
  void pressAt(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos,
               std::optional<QPoint> globalPos = std::nullopt);

  /// Sizing zone of a press at `pos` on a panel of `size`: horizontal part 1 (x < 5) or 2
  /// (x > width - 5, wins), vertical part 3 (y < 5) or 6 (y > height - 5, wins), summed: 0 move,
  /// 1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom, 7 bottom-left, 8 bottom-right.
  static int ZoneAt(QPoint pos, QSize size);
  /// The cursor shown while dragging in `zone`.
  static Qt::CursorShape CursorForZone(int zone);

 signals:
  /// The pointer entered the panel.
  void entered(QObject* sender);
  /// The pointer left the panel.
  void left(QObject* sender);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void followMouse(QPoint globalPos);
  void endDrag(bool cancel);

  bool useCtrl_ = false;
  bool hovered_ = false;
  bool dragging_ = false;
  int zone_ = 0;
  QPoint startGlobal_;
  QRect startGeometry_;
  QEventLoop* loop_ = nullptr;
};

}  // namespace tessane
