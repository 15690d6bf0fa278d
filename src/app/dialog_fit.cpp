#include "app/dialog_fit.h"

#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tessane {

void FitDialogToScreen(QDialog* dialog) {
  for (QComboBox* combo : dialog->findChildren<QComboBox*>()) {
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(16);
  }
  QWidget* parent = dialog->parentWidget();
  QScreen* screen = parent ? parent->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // Room for the window manager's frame around the dialog.
  const QSize room = (area.size() - QSize(16, 48)).expandedTo(QSize(200, 150));
  dialog->setMinimumSize(dialog->minimumSizeHint().boundedTo(room));
  dialog->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  const QSize wanted = dialog->size().expandedTo(dialog->minimumSize());
  const QSize size = wanted.boundedTo(room);
  dialog->resize(size);
  QRect frame(QPoint(), size);
  frame.moveCenter(area.center());
  dialog->move(frame.topLeft());
}

}  // namespace tessane
