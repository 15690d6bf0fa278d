#include "app/skin.h"

#include <QStyle>
#include <QWidget>

namespace tessane {

namespace {

bool skinActive = false;

// Flat, light and quiet: a soft grey window, white fields, one blue accent for focus, hover and
// selection. Check boxes, radio buttons, spin arrows and combo arrows keep the platform's drawing
// so they stay legible. Rules name the widget kinds they mean; a bare QWidget or QFrame rule would
// also restyle the preview panel and every label.
constexpr const char kSkin[] = R"css(
*[tessaneSkin="true"] {
  background-color: #eef1f5;
}
QGroupBox {
  background-color: #f8f9fb;
  border: 1px solid #d3d8df;
  border-radius: 5px;
  margin-top: 9px;
  padding-top: 4px;
}
QGroupBox::title {
  subcontrol-origin: margin;
  subcontrol-position: top left;
  left: 8px;
  padding: 0 3px;
  color: #2f5f8f;
}
QGroupBox:disabled::title {
  color: #9aa3ad;
}
QPushButton {
  background-color: #ffffff;
  border: 1px solid #bfc6d0;
  border-radius: 4px;
  padding: 3px 4px;
  color: #1f2933;
}
QPushButton:hover {
  background-color: #eef4fb;
  border-color: #3d7fc1;
}
QPushButton:pressed, QPushButton:checked {
  background-color: #d7e6f5;
  border-color: #2f6aa6;
}
QPushButton:default {
  border-color: #3d7fc1;
}
QPushButton:disabled {
  background-color: #f0f1f3;
  border-color: #d6dbe1;
  color: #a0a8b1;
}
QLineEdit, QListWidget, QListView {
  background-color: #ffffff;
  border: 1px solid #bfc6d0;
  border-radius: 3px;
  selection-background-color: #3d7fc1;
  selection-color: #ffffff;
}
QLineEdit {
  padding: 1px 3px;
}
QLineEdit:focus, QListWidget:focus, QListView:focus {
  border-color: #3d7fc1;
}
QLineEdit:disabled, QListWidget:disabled, QListView:disabled {
  background-color: #f0f1f3;
  color: #a0a8b1;
}
QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled {
  color: #a0a8b1;
}
QProgressBar {
  background-color: #ffffff;
  border: 1px solid #bfc6d0;
  border-radius: 3px;
  text-align: center;
  color: #1f2933;
}
QProgressBar::chunk {
  background-color: #5b9bd5;
  border-radius: 2px;
}
QMenu {
  background-color: #ffffff;
  border: 1px solid #bfc6d0;
}
QMenu::item {
  padding: 3px 18px;
}
QMenu::item:selected {
  background-color: #3d7fc1;
  color: #ffffff;
}
QMenu::item:disabled {
  color: #a0a8b1;
}
QToolTip {
  background-color: #ffffff;
  border: 1px solid #bfc6d0;
  color: #1f2933;
}
)css";

}  // namespace

const char* SkinStyleSheet() {
  return kSkin;
}

void SetSkinActive(QWidget* window, bool on) {
  skinActive = on;
  if (!window) return;
  // The window's own background is chosen through this property so that the rule does not
  // spread to its children.
  window->setProperty("tessaneSkin", on);
  window->setStyleSheet(on ? QString::fromLatin1(kSkin) : QString());
  window->style()->unpolish(window);
  window->style()->polish(window);
  window->update();
}

bool SkinActive() {
  return skinActive;
}

}  // namespace tessane
