#include "app_test_support.h"

#include <QAbstractButton>
#include <QElapsedTimer>

#include "base/thread.h"

namespace tessane::test {

ModalWatcher::ModalWatcher() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
  qApp->installEventFilter(this);
}

ModalWatcher::~ModalWatcher() {
  qApp->removeEventFilter(this);
  timer_.stop();
}

// A dialog that is hidden and shown again counts as a new window.
bool ModalWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && watched->property("tessaneWatched").toBool())
    watched->setProperty("tessaneWatched", false);
  return false;
}

void ModalWatcher::ThenPress(QMessageBox::StandardButton button) {
  Then([button](QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
      if (QAbstractButton* b = box->button(button)) b->click();
    }
  });
}

QStringList ModalWatcher::Texts() const {
  QStringList out;
  for (const auto& s : seen_) out << s.text;
  return out;
}

void ModalWatcher::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  // Marked rather than remembered by address: boxes on the stack reuse addresses.
  if (!modal || !modal->isVisible() || modal->property("tessaneWatched").toBool()) return;
  modal->setProperty("tessaneWatched", true);
  Seen seen{modal->windowTitle(), {}};
  if (auto* box = qobject_cast<QMessageBox*>(modal)) seen.text = box->text();
  seen_.push_back(seen);
  Action action;
  if (!actions_.empty()) {
    action = std::move(actions_.front());
    actions_.pop_front();
  }
  // Run from a fresh event so the action may open further modal windows.
  QTimer::singleShot(0, modal, [modal, action] {
    if (action)
      action(modal);
    else
      modal->close();
  });
}

bool ProcessUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 30000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    CheckSynchronize();
  }
  return true;
}

bool DrainJobs() {
  return ProcessUntil([] { return LiveThreadCount() == 0; });
}

}  // namespace tessane::test
