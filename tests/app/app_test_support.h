#pragma once
// Helpers for the window tests: answering modal boxes and dialogs, pumping queued work.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/main_window.h"

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << '{';
  for (const QString& text : list) *os << " \"" << text.toStdString() << '"';
  *os << " }";
}

namespace tessane::test {

/// Answers the modal windows that open while it exists, in order, with the queued actions, and
/// records each one's caption and text (message boxes only have a text).
class ModalWatcher : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalWatcher();
  ~ModalWatcher();

  void Then(Action action) { actions_.push_back(std::move(action)); }
  /// A message box answered with `button`.
  void ThenPress(QMessageBox::StandardButton button);

  struct Seen {
    QString title;
    QString text;
  };
  const std::vector<Seen>& SeenWindows() const { return seen_; }
  QStringList Texts() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Poll();

  QTimer timer_;
  std::deque<Action> actions_;
  std::vector<Seen> seen_;
};

/// Processes events and runs queued work until every started job has ended. False if that does
/// not happen within a generous deadline (a hang guard, not a speed check).
bool DrainJobs();

/// Processes events until `done` holds (same guard).
bool ProcessUntil(const std::function<bool()>& done);

/// The window's controls, found by their object names as any tool outside the window finds
/// them; a control that is missing fails the test at once.
struct WindowControls {
  explicit WindowControls(const MainWindow& window);

  QLabel* fileCountLabel;
  QCheckBox* sendToBox;
  QCheckBox* stayOnTopBox;
  QCheckBox* useSkinBox;
  SourceListWidget* sourceList;
  FloatingPanel* previewPanel;
  PreviewImage* previewImage;
  QProgressBar* progressBar;
  QLabel* activityLabel;
  QCheckBox* includeSubfoldersBox;
  QPushButton* sourceFolderButton;
  QPushButton* sourceFilesButton;
  QPushButton* destinationButton;
  QLineEdit* destinationEdit;
  QPushButton* openDestinationButton;
  QGroupBox* fastCopyGroup;
  QCheckBox* fastCopyBox;
  QLabel* bufferSizeLabel;
  NumberBox* bufferSizeBox;
  QCheckBox* copyOverwriteBox;
  QCheckBox* copyTimesBox;
  QCheckBox* copyAttributesBox;
  QCheckBox* memoryUsageBox;
  QLabel* memoryLabel;
  QLabel* peakMemoryLabel;
  QPushButton* startButton;
  QPushButton* pauseButton;
  QPushButton* quitButton;
  QGroupBox* resizeGroup;
  RadioGroupBox* outputFormatGroup;
  QCheckBox* cropBox;
  RadioGroupBox* nameAdditionGroup;
  QLineEdit* additionEdit;
  QLabel* defaultFormatLabel;
  CompletingComboBox* defaultFormatCombo;
  RadioGroupBox* sizeModeGroup;
  QRadioButton* pixelsButton;
  QRadioButton* percentButton;
  NumberBox* sizePixelsBox;
  NumberBox* sizePercentBox;
  QLabel* filterLabel;
  CompletingComboBox* filterCombo;
  QCheckBox* resizeOverwriteBox;
  QStatusBar* statusBar;
  QMenu* listMenu;
  QAction* selectAllAction;
  QAction* deleteAction;
  QAction* pasteAction;
  QFileDialog* fileDialog;
  FolderDialog* folderDialog;
  QTimer* memoryTimer;

 private:
  template <class T>
  static T* Find(const MainWindow& window, const char* name);
};

}  // namespace tessane::test
