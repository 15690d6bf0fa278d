#pragma once
// The main window: every control of the program, the source list's handlers, the batch run
// controller behind START / PAUSE / CONTINUE / QUIT and the window options.

#include <QStringList>
#include <QFont>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

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

namespace tessane {

class CompletingComboBox;
class PreviewImage;
class SourceListWidget;
class FloatingPanel;
class RadioGroupBox;
class FolderDialog;
class NumberBox;

/// The program's one window, fixed-size "Tessane 5.5". Controls keep their layout names (also
/// as object names); each shows its hint in the status bar. The constructor runs the start-up
/// sequence: `paths` (the command line) go through AddPath, the window takes shell drops, the
/// "SendTo link" box reflects the desktop entry, and AppException becomes the error hook.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(const QStringList& paths = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Controls, in the order of the layout.
  QLabel* Label3;
  QCheckBox* SendTo;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  SourceListWidget* ListBox1;
  FloatingPanel* MovPanel1;
  PreviewImage* Image1;
  QProgressBar* ProgressBar1;
  QLabel* Label1;
  QCheckBox* IncSubs;
  QPushButton* Button7;
  QPushButton* Button1;
  QPushButton* Button6;
  QLineEdit* Edit1;
  QPushButton* Button4;
  QGroupBox* GroupBox2;
  QCheckBox* fastcopy;
  QLabel* Label4;
  NumberBox* Buff;
  QCheckBox* Overwrite;
  QCheckBox* CopyTimes;
  QCheckBox* CopyAttrs;
  QCheckBox* CheckBox3;
  QLabel* WLabel;
  QLabel* PLabel;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button5;
  QGroupBox* GroupBox1;
  RadioGroupBox* Output;
  QCheckBox* CropBox;
  RadioGroupBox* Addition;
  QLineEdit* Thing;
  QLabel* Label5;
  CompletingComboBox* DefaultFormat;
  RadioGroupBox* MaxSize;
  QRadioButton* DoPixs;
  QRadioButton* DoPer;
  NumberBox* SpinEdit1;
  NumberBox* SpinEdit2;
  QLabel* Label2;
  CompletingComboBox* Filters;
  QCheckBox* ResOverWrite;
  QStatusBar* StatusBar1;
  QMenu* PopupMenu1;
  QAction* Selectall1;
  QAction* Delete1;
  QAction* Paste1;
  QFileDialog* OD1;
  FolderDialog* SD1;
  QTimer* Timer1;

  // Run state of the batch controller.
  bool Running = false;
  int32_t ResumeIndex = 0;
  /// The millisecond tick count (wraps at 2^32); replaceable for tests.
  std::function<uint32_t()> TickCount;
  /// The batch loop's "process pending messages" step; replaceable for tests.
  std::function<void()> ProcessMessages;

  /// Adds a file or, for a folder, its accepted files (sub-folders while IncSubs is checked).
  void AddPath(const std::string& path);
  /// "Files: %d" with the list's entry count.
  void UpdateFileCount();

  // Source list.
  void Button1Click();
  void Button7Click();
  void WMDropFiles(const QStringList& names, QPoint clientPos);
  void Paste1Click();
  void Delete1Click();
  void Selectall1Click();
  void ListBox1KeyDown(int key);
  void ListBox1DblClick();

  // Batch run controller.
  void Button2Click();
  void Button3Click();
  void Button5Click();
  /// Hands entries over from `startIndex`, then waits until the work of every file it handed
  /// over has run and writes the activity line with the number that failed, if any.
  void RunBatch(int32_t startIndex);

  // Window options.
  void SendToClick();
  void Button4Click();
  void Button6Click();
  void CheckBox1Click();
  void CheckBox2Click();
  void fastcopyClick();
  void CheckBox3Click();
  void Timer1Timer();
  void Image1DblClick();

  /// The error hook: while a run exists (PAUSE/CONTINUE enabled) presses that button, then shows
  /// the error box. While idle it only shows the error: it never starts a run.
  void AppException(const std::exception& error);
  /// The message of the job that failed on list entry `row` ("" when it has not failed).
  QString EntryError(int row) const;
  /// Shows in the status bar the hint of the control under the pointer or of its nearest
  /// enclosing control that has one; over a failed list entry, why it failed.
  void UpdateHint();
  /// The hint UpdateHint shows for a pointer at `globalPos`.
  QString HintAt(QPoint globalPos) const;

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
  void CreateControls();
  void ConnectHandlers();
  void FormCreate(const QStringList& paths);
  struct RunTally;
  void HandOver(int32_t index, const std::shared_ptr<RunTally>& tally);
  /// Shows on the entry whether its file failed, and why (colour, icon, tooltip).
  void MarkEntry(int rowHint, quint64 entryId, const std::exception_ptr& error);
  void ClearEntryMarks();
  /// START with a destination that does not exist: false unless the user agrees to create it.
  bool DestinationReady();
  /// Gives every control the window's font again and sizes labels and the list to it (the skin
  /// switch changes what the platform style draws around the text).
  void ApplyLayoutFont();
  void SnapListHeight();
  int Scaled(int value) const;
  void Place(QWidget* widget, int left, int top, int width, int height);
  void PlaceLabel(QLabel* label, int left, int top);
  void SetLabelText(QLabel* label, const QString& text);

  double scale_ = 1.0;
  bool centred_ = false;
  QString lastFilter_;
  QFont layoutFont_;
  int runDepth_ = 0;           // RunBatch calls under way (START during a run nests one)
  bool closeRequested_ = false;
  quint64 lastEntryId_ = 0;
};

}  // namespace tessane
