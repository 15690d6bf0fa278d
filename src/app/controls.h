#pragma once
// The window's control kinds where Qt's own widgets behave differently: number boxes that keep
// what was typed until the focus leaves, drop-downs that complete typed text, radio groups laid
// out in columns, the source list and the preview image.

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

namespace tessane {

/// A number box: a text field with arrows. Value() is the text read as a decimal integer, or
/// the minimum when it is not one; the text is corrected only when the focus leaves (a value
/// outside the range becomes the nearer bound, other text stays). Keys other than digits, "+",
/// "-", the locale's decimal separator and control keys are refused, Enter too. The arrows and
/// Up/Down set Value() plus or minus the step, clamped to the range.
class NumberBox : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit NumberBox(QWidget* parent = nullptr);

  int value() const;
  void setValue(int value);
  int minValue() const { return min_; }
  void setMinValue(int value) { min_ = value; }
  int maxValue() const { return max_; }
  void setMaxValue(int value) { max_ = value; }
  int increment() const { return increment_; }
  void setIncrement(int increment) { increment_ = increment; }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 protected:
  StepEnabled stepEnabled() const override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int min_ = 0;
  int max_ = 100;
  int increment_ = 1;
};

/// Parses a decimal integer with an optional sign; false for anything else or out of int range.
bool ParseInteger(const QString& text, int& value);

/// A drop-down list with an edit field. Typing completes to the first item that begins with the
/// typed text (any letter case) and selects it; text that matches no item, or an empty field,
/// leaves no item selected (itemIndex() -1).
class CompletingComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CompletingComboBox(QWidget* parent = nullptr);
  int itemIndex() const { return currentIndex(); }
  /// The selected item's text, "" when none is selected.
  QString selectedText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// Keys typed while the drop-down has the focus reach its edit field through here, not
  /// through the field's own event delivery.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void TextEdited(const QString& text);
  void SelectKeepingText(int index);

  bool typing_ = false;  // the edit comes from a typed character (not a deletion or paste)
};

/// A framed group of radio buttons in columns, with one item selected once setItemIndex has
/// chosen it.
class RadioGroupBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit RadioGroupBox(QWidget* parent = nullptr);
  /// Replaces the items by one radio button each, none selected.
  void setItems(const QStringList& items);
  void setColumns(int columns);
  int itemIndex() const;
  void setItemIndex(int index);
  QString itemText(int index) const;
  int count() const;
  QRadioButton* button(int index) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void arrangeButtons();

  QButtonGroup* group_;
  int columns_ = 1;
};

/// The source list: reports double-clicks anywhere in it, every key press (before the list's
/// own handling) and the paste key (Ctrl+V).
class SourceListWidget : public QListWidget {
  Q_OBJECT

 public:
  explicit SourceListWidget(QWidget* parent = nullptr);
  int itemHeight() const { return itemHeight_; }
  /// Every row gets this height, whatever the font.
  void setItemHeight(int height);

 signals:
  void listDoubleClicked();
  void keyPressed(int key);
  void pasteKeyPressed();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int itemHeight_ = 0;
};

/// Shows a picture centred; one larger than the widget is scaled down with its proportions kept.
class PreviewImage : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewImage(QWidget* parent = nullptr);
  void setPicture(QImage picture);
  const QImage& picture() const { return picture_; }
  /// Where the picture is drawn for the current size (empty when there is none).
  QRect pictureRect() const;

 signals:
  void doubleClicked();
  void pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos,
               QPoint globalPos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace tessane
