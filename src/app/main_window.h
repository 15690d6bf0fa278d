#pragma once
// The main window: every control of the program, the source list's handlers and the window
// options; the batch run behind START / PAUSE / CONTINUE / QUIT is its BatchController's.

#include <QFont>
#include <QSet>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "jobs/requests.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class QUrl;

namespace tessane {

class BatchController;
class RunFiles;
class FileWorker;
struct JobOutcome;
class CompletingComboBox;
class FloatingPanel;
class FolderDialog;
class NumberBox;
class PreviewImage;
class RadioGroupBox;
class SourceListWidget;

/// The program's one window, fixed-size "Tessane 5.5". Controls keep their layout names as
/// object names (tests and tools find them by these); each shows its hint in the status bar.
/// The constructor runs the start-up sequence: `paths` (the command line) go through addPath,
/// the window takes shell drops, the "SendTo link" box reflects the desktop entry, and
/// showError becomes the application's error hook.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  /// Whether the window starts with the options of its last close (and keeps them at the next
  /// close) or always with its start-up values.
  enum class Settings { kStartUpValues, kRemembered };

  explicit MainWindow(const QStringList& paths = {}, Settings settings = Settings::kStartUpValues,
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  /// The batch run of the source list.
  BatchController& batch() const { return *batch_; }

  /// Adds a file or, for a folder, its accepted files (sub-folders while "Inc sub folders" is
  /// checked).
  void addPath(const std::string& path);
  /// addPath for each, in order; a file already listed is not added again.
  void addPaths(const QStringList& paths);
  /// "Files: %d" with the list's entry count.
  void updateFileCount();
  /// Paths dropped from the shell at `clientPos`: one folder on the destination field becomes
  /// the destination, anything on the list is added (in reverse, as the shell hands them).
  void dropPaths(const QStringList& names, QPoint clientPos);

  /// The error hook: while a run exists (PAUSE/CONTINUE enabled) presses that button, then shows
  /// the error box. While idle it only shows the error: it never starts a run.
  void showError(const std::exception& error);
  /// The message of the job that failed on list entry `row` ("" when it has not failed).
  QString entryError(int row) const;
  /// Shows in the status bar the hint of the control under the pointer or of its nearest
  /// enclosing control that has one; over a failed list entry, why it failed.
  void updateHint();
  /// Shows `text` in the status bar until the pointer goes to another control.
  void showFeedback(const QString& text);
  /// The feedback the status bar shows ("" once a hint replaced it).
  QString feedback() const;
  /// Opens a folder in the desktop's file manager; replaceable for tests.
  std::function<bool(const QUrl&)> openUrl;
  /// The hint updateHint shows for a pointer at `globalPos`.
  QString hintAt(QPoint globalPos) const;
  /// Shows the memory usage and its peak in their labels (the memory timer's step).
  void updateMemoryLabels();

  /// The options the user sets (destination, modes, size, filter, formats, naming, overwrite,
  /// copy options, sub-folders, skin, stay on top) by name.
  QVariantMap optionValues() const;
  void setOptionValues(const QVariantMap& values);
  /// Puts every option back to its start-up value (the menu's "Restore start-up settings").
  void restoreStartUpValues();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  /// Closing during a run is QUIT: no further file is handed over, the files already handed
  /// over finish, then the window closes.
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createControls();
  void setKeyboardAccess();
  void connectHandlers();
  void startUp(const QStringList& paths);

  // Source list.
  QSet<QString> listedKeys() const;
  void addEntry(const QString& file, QSet<QString>& listed);
  void onSourceFilesClicked();
  void onSourceFolderClicked();
  void onPasteTriggered();
  void onDeleteTriggered();
  void onListKeyPressed(int key);
  void onListDoubleClicked();
  void onPreviewDoubleClicked();

  // Batch run.
  void onStartClicked();
  void onPauseClicked();
  void onQuitClicked();
  /// START with a destination that does not exist: false unless the user agrees to create it.
  bool destinationReady();
  /// With resize "Overwrite" on: how many listed sources the outputs would replace.
  int sourcesReplacedByOutputs() const;
  /// Asks before a run replaces sources; Cancel is the default. False unless the user agrees.
  bool confirmReplacingSources();
  /// The batch's settings as the controls show them now.
  BatchSettings currentSettings() const;
  /// Starts the job of one source file with the options the controls show now.
  void startJob(const std::string& source, std::function<void(const JobOutcome&)> ended);
  void onBatchStarted(int files);
  void onBatchStateChanged();
  /// Shows on the entry whether its file failed, and why (colour, icon, tooltip).
  void markEntry(int rowHint, quint64 entryId, const JobOutcome& outcome);
  void onEntryTaken(int number, int total, const QString& name);
  void onRunEnded(const QString& activity);
  void clearEntryMarks();

  // Window options.
  void onSendToToggled();
  void onOpenDestinationClicked();
  /// Opens the folder the last run wrote into.
  void onOpenOutputClicked();
  void openFolderOrSay(const QString& folder);
  void onDestinationClicked();
  void onStayOnTopToggled();
  void onUseSkinToggled();
  void onFastCopyToggled();
  void onMemoryUsageToggled();

  /// Gives every control the window's font again and sizes labels and the list to it (the skin
  /// switch changes what the platform style draws around the text).
  void applyLayoutFont();
  void snapListHeight();
  int scaled(int value) const;
  void setLabelText(QLabel* label, const QString& text);

  // Controls, in the order of the layout.
  QLabel* fileCountLabel_;
  QCheckBox* sendToBox_;
  QCheckBox* stayOnTopBox_;
  QCheckBox* useSkinBox_;
  SourceListWidget* sourceList_;
  FloatingPanel* previewPanel_;
  PreviewImage* previewImage_;
  QProgressBar* progressBar_;
  QLabel* activityLabel_;
  QCheckBox* includeSubfoldersBox_;
  QPushButton* sourceFolderButton_;
  QPushButton* sourceFilesButton_;
  QPushButton* destinationButton_;
  QLineEdit* destinationEdit_;
  QPushButton* openDestinationButton_;
  QGroupBox* fastCopyGroup_;
  QCheckBox* fastCopyBox_;
  QLabel* bufferSizeLabel_;
  NumberBox* bufferSizeBox_;
  QCheckBox* copyOverwriteBox_;
  QCheckBox* copyTimesBox_;
  QCheckBox* copyAttributesBox_;
  QCheckBox* memoryUsageBox_;
  QLabel* memoryLabel_;
  QLabel* peakMemoryLabel_;
  QPushButton* startButton_;
  QPushButton* pauseButton_;
  QPushButton* quitButton_;
  QGroupBox* resizeGroup_;
  RadioGroupBox* outputFormatGroup_;
  QCheckBox* cropBox_;
  RadioGroupBox* nameAdditionGroup_;
  QLineEdit* additionEdit_;
  QLabel* defaultFormatLabel_;
  CompletingComboBox* defaultFormatCombo_;
  RadioGroupBox* sizeModeGroup_;
  QRadioButton* pixelsButton_;
  QRadioButton* percentButton_;
  NumberBox* sizePixelsBox_;
  NumberBox* sizePercentBox_;
  QLabel* filterLabel_;
  CompletingComboBox* filterCombo_;
  QCheckBox* resizeOverwriteBox_;
  QStatusBar* statusBar_;
  QPushButton* openOutputButton_;
  QMenu* listMenu_;
  QAction* selectAllAction_;
  QAction* deleteAction_;
  QAction* pasteAction_;
  QAction* restoreAction_;
  QFileDialog* fileDialog_;
  FolderDialog* folderDialog_;
  QTimer* memoryTimer_;

  BatchController* batch_;
  // The sources of the run under way, which no output may replace but its own file's.
  std::shared_ptr<RunFiles> runFiles_;
  std::unique_ptr<FileWorker> worker_;
  double scale_ = 1.0;
  bool centred_ = false;
  QString lastFilter_;
  QFont layoutFont_;
  QVariantMap startUpValues_;
  Settings settingsMode_;
  QString feedback_;
  QString feedbackHint_;  // the hint under the pointer when the feedback came
};

}  // namespace tessane
