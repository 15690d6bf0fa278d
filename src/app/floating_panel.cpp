#include "app/floating_panel.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>

namespace tessane {

namespace {

// Like std::clamp, but defined when the range is empty (lo wins), which happens when the parent
// is smaller than the panel.
int Bound(int value, int lo, int hi) {
  return std::max(lo, std::min(value, hi));
}

// Shows a cursor over the whole application for the lifetime of the object.
class OverrideCursor {
 public:
  explicit OverrideCursor(Qt::CursorShape shape) { QGuiApplication::setOverrideCursor(shape); }
  ~OverrideCursor() { QGuiApplication::restoreOverrideCursor(); }
  OverrideCursor(const OverrideCursor&) = delete;
  OverrideCursor& operator=(const OverrideCursor&) = delete;
};

}  // namespace

FloatingPanel::FloatingPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setBackgroundRole(QPalette::Button);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
  layout->setSpacing(0);
}

FloatingPanel::~FloatingPanel() {
  if (loop_) loop_->exit();
}

void FloatingPanel::setContent(QWidget* content) {
  layout()->addWidget(content);
}

int FloatingPanel::ZoneAt(QPoint pos, QSize size) {
  int horizontal = 0;
  if (pos.x() > size.width() - kGrabBand)
    horizontal = 2;
  else if (pos.x() < kGrabBand)
    horizontal = 1;
  int vertical = 0;
  if (pos.y() > size.height() - kGrabBand)
    vertical = 6;
  else if (pos.y() < kGrabBand)
    vertical = 3;
  return horizontal + vertical;
}

Qt::CursorShape FloatingPanel::CursorForZone(int zone) {
  switch (zone) {
    case 1:
    case 2:
      return Qt::SizeHorCursor;
    case 3:
    case 6:
      return Qt::SizeVerCursor;
    case 4:
    case 8:
      return Qt::SizeFDiagCursor;
    case 5:
    case 7:
      return Qt::SizeBDiagCursor;
    default:
      return Qt::SizeAllCursor;
  }
}

void FloatingPanel::paintEvent(QPaintEvent*) {
  // Painted here rather than by the style so the panel looks the same with and without the skin.
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.brush(QPalette::Button));
  qDrawShadePanel(&painter, rect(), pal, false, lineWidth());
  if (hovered_) {
    painter.setPen(pal.color(QPalette::Highlight));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void FloatingPanel::enterEvent(QEnterEvent* event) {
  QFrame::enterEvent(event);
  emit entered(this);
  hovered_ = true;
  update();
}

void FloatingPanel::leaveEvent(QEvent* event) {
  QFrame::leaveEvent(event);
  emit left(this);
  hovered_ = false;
  update();
}

void FloatingPanel::mousePressEvent(QMouseEvent* event) {
  QFrame::mousePressEvent(event);
  pressAt(event->button(), event->modifiers(), event->position().toPoint(),
          event->globalPosition().toPoint());
  event->accept();  // the panel's press is its own; the window beneath must not see it too
}

void FloatingPanel::pressAt(Qt::MouseButton, Qt::KeyboardModifiers modifiers, QPoint pos,
                        std::optional<QPoint> globalPos) {
  if (useCtrl_ && !(modifiers & Qt::ControlModifier)) return;
  hovered_ = true;
  update();
  if (loop_ || !parentWidget()) return;

  zone_ = ZoneAt(pos, size());
  startGlobal_ = globalPos ? *globalPos : QCursor::pos();
  startGeometry_ = geometry();
  dragging_ = true;
  QPointer<FloatingPanel> self(this);
  {
    OverrideCursor cursor(CursorForZone(zone_));
    QEventLoop loop;
    loop_ = &loop;
    // The press that got here holds the pointer until its release, but for the widget pressed,
    // which may be a child rather than the panel: so mouse events are watched application-wide.
    qApp->installEventFilter(this);
    loop.exec();
    if (self) {
      qApp->removeEventFilter(this);
      loop_ = nullptr;
    }
  }
  if (!self) return;
  dragging_ = false;
  update();
}

void FloatingPanel::followMouse(QPoint globalPos) {
  if (!parentWidget()) return;  // taken out of its window meanwhile
  const QPoint delta = globalPos - startGlobal_;
  const QRect area = parentWidget()->rect();
  const QRect& s = startGeometry_;
  // Edges as exclusive coordinates: right = x + width.
  int left = s.x(), top = s.y(), right = s.x() + s.width(), bottom = s.y() + s.height();
  const int minWidth = std::max(kMinSide, minimumWidth());
  const int minHeight = std::max(kMinSide, minimumHeight());
  if (zone_ == 0) {
    left = Bound(left + delta.x(), area.left(), area.right() + 1 - s.width());
    top = Bound(top + delta.y(), area.top(), area.bottom() + 1 - s.height());
    right = left + s.width();
    bottom = top + s.height();
  } else {
    const int horizontal = zone_ % 3, vertical = zone_ / 3;
    if (horizontal == 1) left = Bound(left + delta.x(), area.left(), right - minWidth);
    if (horizontal == 2) right = Bound(right + delta.x(), left + minWidth, area.right() + 1);
    if (vertical == 1) top = Bound(top + delta.y(), area.top(), bottom - minHeight);
    if (vertical == 2) bottom = Bound(bottom + delta.y(), top + minHeight, area.bottom() + 1);
  }
  setGeometry(left, top, right - left, bottom - top);
}

void FloatingPanel::endDrag(bool cancel) {
  // Events already queued behind the end (a release after Escape) must not move the panel.
  dragging_ = false;
  if (cancel) setGeometry(startGeometry_);
  if (loop_) loop_->exit();
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event) {
  if (!dragging_) return QFrame::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove:
      if (watched->isWidgetType()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        followMouse(mouse->globalPosition().toPoint());
        // A move without buttons means the release went somewhere we never saw.
        if (mouse->buttons() == Qt::NoButton) endDrag(false);
      }
      break;
    case QEvent::MouseButtonRelease:
      if (watched->isWidgetType()) {
        followMouse(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        endDrag(false);
      }
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        endDrag(true);
        return true;
      }
      break;
    case QEvent::Hide:
      if (watched == this) endDrag(false);
      break;
    case QEvent::WindowDeactivate:
      if (watched == window()) endDrag(false);
      break;
    default:
      break;
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace tessane
