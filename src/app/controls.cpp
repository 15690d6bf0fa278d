#include "app/controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tessane {

bool ParseInteger(const QString& text, int& value) {
  int i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
    if (v > int64_t{std::numeric_limits<int>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
  value = static_cast<int>(v);
  return true;
}

// ---- NumberBox

NumberBox::NumberBox(QWidget* parent) : QAbstractSpinBox(parent) {
  setValue(min_);
}

int NumberBox::value() const {
  int value;
  return ParseInteger(text(), value) ? value : min_;
}

void NumberBox::setValue(int value) {
  lineEdit()->setText(QString::number(value));
}

void NumberBox::stepBy(int steps) {
  const int64_t next = int64_t{value()} + int64_t{steps} * increment_;
  setValue(static_cast<int>(std::clamp<int64_t>(next, min_, max_)));
  lineEdit()->selectAll();
}

// Typed text is never refused as a whole: keys are filtered one by one instead.
QValidator::State NumberBox::validate(QString&, int&) const {
  return QValidator::Acceptable;
}

void NumberBox::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

void NumberBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    QApplication::beep();
    event->accept();
    return;
  }
  const QString typed = event->text();
  if (!typed.isEmpty() && typed[0].unicode() >= 0x20 && typed[0].unicode() != 0x7f) {
    const QChar c = typed[0];
    const bool allowed = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' ||
                         QString(c) == QLocale().decimalPoint();
    if (!allowed || typed.size() > 1) {
      QApplication::beep();
      event->accept();
      return;
    }
  }
  QAbstractSpinBox::keyPressEvent(event);
}

void NumberBox::focusOutEvent(QFocusEvent* event) {
  QAbstractSpinBox::focusOutEvent(event);
  int value;
  if (ParseInteger(text(), value) && (value < min_ || value > max_))
    setValue(std::clamp(value, min_, max_));
}

// ---- CompletingComboBox

CompletingComboBox::CompletingComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  lineEdit()->installEventFilter(this);
  connect(lineEdit(), &QLineEdit::textEdited, this, &CompletingComboBox::TextEdited);
}

QString CompletingComboBox::selectedText() const {
  return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
}

bool CompletingComboBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
    const QString typed = static_cast<QKeyEvent*>(event)->text();
    typing_ = !typed.isEmpty() && typed[0].isPrint();
  }
  return QComboBox::eventFilter(watched, event);
}

void CompletingComboBox::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  typing_ = !typed.isEmpty() && typed[0].isPrint();
  QComboBox::keyPressEvent(event);
  typing_ = false;
}

void CompletingComboBox::TextEdited(const QString& text) {
  const bool typing = typing_;
  typing_ = false;
  if (text.isEmpty()) {
    SelectKeepingText(-1);
    return;
  }
  if (typing) {
    for (int i = 0; i < count(); ++i) {
      if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
        setCurrentIndex(i);
        // The completed part stays selected, so the next key replaces it.
        lineEdit()->setText(itemText(i));
        lineEdit()->setSelection(text.size(), itemText(i).size() - text.size());
        return;
      }
    }
  }
  // Deleting never re-completes; the field selects an item only while it spells one.
  SelectKeepingText(findText(text, Qt::MatchFixedString));
}

void CompletingComboBox::SelectKeepingText(int index) {
  const QString text = lineEdit()->text();
  const int cursor = lineEdit()->cursorPosition();
  setCurrentIndex(index);
  lineEdit()->setText(text);
  lineEdit()->setCursorPosition(cursor);
}

// ---- RadioGroupBox

RadioGroupBox::RadioGroupBox(QWidget* parent) : QGroupBox(parent), group_(new QButtonGroup(this)) {}

void RadioGroupBox::setItems(const QStringList& items) {
  for (QAbstractButton* button : group_->buttons()) {
    group_->removeButton(button);
    delete button;
  }
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
  }
  arrangeButtons();
}

void RadioGroupBox::setColumns(int columns) {
  columns_ = std::max(1, columns);
  arrangeButtons();
}

int RadioGroupBox::itemIndex() const {
  return group_->checkedId();
}

void RadioGroupBox::setItemIndex(int index) {
  if (QAbstractButton* button = group_->button(index)) button->setChecked(true);
}

QString RadioGroupBox::itemText(int index) const {
  QAbstractButton* button = group_->button(index);
  return button ? button->text() : QString();
}

int RadioGroupBox::count() const {
  return static_cast<int>(group_->buttons().size());
}

QRadioButton* RadioGroupBox::button(int index) const {
  return static_cast<QRadioButton*>(group_->button(index));
}

void RadioGroupBox::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  arrangeButtons();
}

void RadioGroupBox::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::FontChange) arrangeButtons();
}

// Items fill the columns top to bottom, the rows sharing the height below the caption.
void RadioGroupBox::arrangeButtons() {
  const int items = count();
  if (items == 0) return;
  const int perColumn = (items + columns_ - 1) / columns_;
  const int fontHeight = QFontMetrics(font()).height();
  const int buttonWidth = (width() - 10) / columns_;
  const int rowsHeight = height() - fontHeight - 5;
  const int buttonHeight = rowsHeight / perColumn;
  const int topMargin = fontHeight + 1 + (rowsHeight % perColumn) / 2;
  for (int i = 0; i < items; ++i)
    button(i)->setGeometry((i / perColumn) * buttonWidth + 8,
                           (i % perColumn) * buttonHeight + topMargin, buttonWidth, buttonHeight);
}

// ---- SourceListWidget

namespace {
class FixedHeightDelegate : public QStyledItemDelegate {
 public:
  explicit FixedHeightDelegate(QObject* parent) : QStyledItemDelegate(parent) {}
  void setHeight(int height) { height_ = height; }
  // As wide as the list shows, so that a long path is elided (in its middle, by the view's
  // mode) instead of cut at the right where its file name is.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (const auto* view = qobject_cast<const QAbstractScrollArea*>(option.widget))
      return QSize(view->viewport()->width(), height_);
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height_);
  }

 private:
  int height_ = 0;
};
}  // namespace

SourceListWidget::SourceListWidget(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
  setItemDelegate(new FixedHeightDelegate(this));
  setTextElideMode(Qt::ElideMiddle);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setResizeMode(QListView::Adjust);
}

void SourceListWidget::setItemHeight(int height) {
  itemHeight_ = height;
  static_cast<FixedHeightDelegate*>(itemDelegate())->setHeight(height);
  doItemsLayout();
}

void SourceListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  emit listDoubleClicked();
}

void SourceListWidget::keyPressEvent(QKeyEvent* event) {
  emit keyPressed(event->key());
  if (event->matches(QKeySequence::Paste)) {
    event->accept();
    emit pasteKeyPressed();
    return;
  }
  QListWidget::keyPressEvent(event);
}

// ---- PreviewImage

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {}

void PreviewImage::setPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

QRect PreviewImage::pictureRect() const {
  if (picture_.isNull()) return {};
  QSize size = picture_.size();
  if (size.width() > width() || size.height() > height())
    size.scale(width(), height(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void PreviewImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(pictureRect(), picture_);
}

void PreviewImage::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button(), event->modifiers(), event->position().toPoint(),
               event->globalPosition().toPoint());
}

void PreviewImage::mouseDoubleClickEvent(QMouseEvent*) {
  emit doubleClicked();
}

}  // namespace tessane
