#include "app_test_support.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

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

template <class T>
T* WindowControls::Find(const MainWindow& window, const char* name) {
  T* const control = window.findChild<T*>(QString::fromUtf8(name));
  if (!control) ADD_FAILURE() << "no control " << name;
  return control;
}

WindowControls::WindowControls(const MainWindow& window)
    : fileCountLabel(Find<QLabel>(window, "Label3")),
      sendToBox(Find<QCheckBox>(window, "SendTo")),
      stayOnTopBox(Find<QCheckBox>(window, "CheckBox1")),
      useSkinBox(Find<QCheckBox>(window, "CheckBox2")),
      sourceList(Find<SourceListWidget>(window, "ListBox1")),
      previewPanel(Find<FloatingPanel>(window, "MovPanel1")),
      previewImage(Find<PreviewImage>(window, "Image1")),
      progressBar(Find<QProgressBar>(window, "ProgressBar1")),
      activityLabel(Find<QLabel>(window, "Label1")),
      includeSubfoldersBox(Find<QCheckBox>(window, "IncSubs")),
      sourceFolderButton(Find<QPushButton>(window, "Button7")),
      sourceFilesButton(Find<QPushButton>(window, "Button1")),
      destinationButton(Find<QPushButton>(window, "Button6")),
      destinationEdit(Find<QLineEdit>(window, "Edit1")),
      openDestinationButton(Find<QPushButton>(window, "Button4")),
      fastCopyGroup(Find<QGroupBox>(window, "GroupBox2")),
      fastCopyBox(Find<QCheckBox>(window, "fastcopy")),
      bufferSizeLabel(Find<QLabel>(window, "Label4")),
      bufferSizeBox(Find<NumberBox>(window, "Buff")),
      copyOverwriteBox(Find<QCheckBox>(window, "Overwrite")),
      copyTimesBox(Find<QCheckBox>(window, "CopyTimes")),
      copyAttributesBox(Find<QCheckBox>(window, "CopyAttrs")),
      memoryUsageBox(Find<QCheckBox>(window, "CheckBox3")),
      memoryLabel(Find<QLabel>(window, "WLabel")),
      peakMemoryLabel(Find<QLabel>(window, "PLabel")),
      startButton(Find<QPushButton>(window, "Button2")),
      pauseButton(Find<QPushButton>(window, "Button3")),
      quitButton(Find<QPushButton>(window, "Button5")),
      resizeGroup(Find<QGroupBox>(window, "GroupBox1")),
      outputFormatGroup(Find<RadioGroupBox>(window, "Output")),
      cropBox(Find<QCheckBox>(window, "CropBox")),
      nameAdditionGroup(Find<RadioGroupBox>(window, "Addition")),
      additionEdit(Find<QLineEdit>(window, "Thing")),
      defaultFormatLabel(Find<QLabel>(window, "Label5")),
      defaultFormatCombo(Find<CompletingComboBox>(window, "DefaultFormat")),
      sizeModeGroup(Find<RadioGroupBox>(window, "MaxSize")),
      pixelsButton(Find<QRadioButton>(window, "DoPixs")),
      percentButton(Find<QRadioButton>(window, "DoPer")),
      sizePixelsBox(Find<NumberBox>(window, "SpinEdit1")),
      sizePercentBox(Find<NumberBox>(window, "SpinEdit2")),
      filterLabel(Find<QLabel>(window, "Label2")),
      filterCombo(Find<CompletingComboBox>(window, "Filters")),
      resizeOverwriteBox(Find<QCheckBox>(window, "ResOverWrite")),
      statusBar(Find<QStatusBar>(window, "StatusBar1")),
      listMenu(Find<QMenu>(window, "PopupMenu1")),
      selectAllAction(Find<QAction>(window, "Selectall1")),
      deleteAction(Find<QAction>(window, "Delete1")),
      pasteAction(Find<QAction>(window, "Paste1")),
      fileDialog(Find<QFileDialog>(window, "OD1")),
      folderDialog(Find<FolderDialog>(window, "SD1")),
      memoryTimer(Find<QTimer>(window, "Timer1")) {}

}  // namespace tessane::test
