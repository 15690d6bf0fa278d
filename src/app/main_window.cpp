#include "app/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>

#include "app/application.h"
#include "app/batch_controller.h"
#include "app/controls.h"
#include "app/desktop_entry.h"
#include "app/dialog_fit.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/memory_usage.h"
#include "app/preview.h"
#include "app/skin.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/thread.h"
#include "formats/format_registry.h"
#include "formats/picture.h"
#include "jobs/copy_job_thread.h"
#include "jobs/output_naming.h"
#include "jobs/resize_job_thread.h"
#include "jobs/source_scan.h"

namespace tessane {

namespace {

// Paths are bytes; the controls hold text.
std::string ToPath(const QString& text) {
  return QFile::encodeName(text).toStdString();
}
QString FromPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// The registry's filter text ("Caption (*.a)|*.a|...") as the dialog's name filters.
QStringList NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(u'|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i];
    const int open = caption.lastIndexOf(u'(');
    if (open > 0 && caption.endsWith(u')')) caption.truncate(open);
    QString masks = parts[i + 1];
    out << caption.trimmed() + QStringLiteral(" (") + masks.replace(u';', u' ') + u')';
  }
  return out;
}

// A failed entry keeps its job's message here (also its tooltip).
constexpr int kEntryErrorRole = Qt::UserRole + 1;

void ClearMark(QListWidgetItem* item) {
  if (item->data(kEntryErrorRole).isNull()) return;
  item->setData(kEntryErrorRole, QVariant());
  item->setToolTip(QString());
  item->setData(Qt::ForegroundRole, QVariant());
  item->setIcon(QIcon());
}

}  // namespace

MainWindow::MainWindow(const QStringList& paths, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form1"));
  scale_ = logicalDpiX() / 96.0;
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  // The layout's captions were sized for a narrow face; common sans faces are wider.
  font.setStretch(QFont::Condensed);
  layoutFont_ = font;
  setFont(font);
  setWindowTitle(QStringLiteral("Tessane 5.5"));
  setWindowIcon(ApplicationIcon());
  setFixedSize(scaled(562), scaled(483));
  createControls();
  batch_ = new BatchController(
      sourceList_,
      [this](const std::string& source, BatchController::JobEnded ended) {
        startJob(source, std::move(ended));
      },
      this);
  connectHandlers();
  SetSkinActive(this, true);
  applyLayoutFont();
  startUp(paths);
}

MainWindow::~MainWindow() {
  if (Application* app = App()) app->ClearErrorHook(this);
}

int MainWindow::scaled(int value) const {
  return static_cast<int>(std::lround(value * scale_));
}

void MainWindow::place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(scaled(left), scaled(top), scaled(width), scaled(height));
}

void MainWindow::placeLabel(QLabel* label, int left, int top) {
  label->move(scaled(left), scaled(top));
  label->adjustSize();
}

// Labels size themselves to their text.
void MainWindow::setLabelText(QLabel* label, const QString& text) {
  label->setText(text);
  label->adjustSize();
}

void MainWindow::applyLayoutFont() {
  // Removing a style sheet leaves the controls with the application's font instead of the
  // window's, so the window's font is given to each control again, whichever way the skin went.
  setFont(layoutFont_);
  for (QWidget* w : findChildren<QWidget*>())
    if (w->window() == this) w->setFont(layoutFont_);
  for (QLabel* label : findChildren<QLabel*>())
    if (label->window() == this) label->adjustSize();
  snapListHeight();
}

// Whole rows only: the rows the laid-out height holds at 96 dpi, at the scaled row height, plus
// the frame the current style draws.
void MainWindow::snapListHeight() {
  const int frame = sourceList_->frameWidth();
  const int rows = std::max(1, (147 - 2 * frame) / 13);
  sourceList_->resize(sourceList_->width(), rows * sourceList_->ItemHeight() + 2 * frame);
}

void MainWindow::createControls() {
  const auto check = [this](QWidget* parent, const char* name, const char* caption,
                            const char* hint, int l, int t, int w, int h, bool checked) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setStatusTip(QString::fromUtf8(hint));
    box->setChecked(checked);
    place(box, l, t, w, h);
    return box;
  };
  const auto button = [this](const char* name, const char* caption, const char* hint, int l, int t,
                             int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromUtf8(name));
    b->setStatusTip(QString::fromUtf8(hint));
    b->setAutoDefault(false);
    place(b, l, t, w, h);
    return b;
  };
  const auto label = [this](QWidget* parent, const char* name, const char* caption, int l, int t) {
    auto* lab = new QLabel(QString::fromUtf8(caption), parent);
    lab->setObjectName(QString::fromUtf8(name));
    placeLabel(lab, l, t);
    return lab;
  };

  fileCountLabel_ = label(this, "Label3", "Files:", 11, 8);
  sendToBox_ = check(this, "SendTo", "SendTo link", "Add/delete 'SendTo' link in context menu", 284,
                     5, 79, 17, false);
  stayOnTopBox_ =
      check(this, "CheckBox1", "Stay on top", "Keep window on top", 378, 5, 75, 17, false);
  useSkinBox_ = check(this, "CheckBox2", "Use skin", "", 472, 5, 73, 17, true);

  sourceList_ = new SourceListWidget(scaled(13), this);
  sourceList_->setObjectName(QStringLiteral("ListBox1"));
  sourceList_->setStatusTip(QStringLiteral("Source files - double click to view"));
  sourceList_->setContextMenuPolicy(Qt::CustomContextMenu);
  sourceList_->setIconSize(QSize(scaled(13) - 2, scaled(13) - 2));
  place(sourceList_, 8, 25, 542, 147);

  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
  progressBar_->setTextVisible(false);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  place(progressBar_, 8, 179, 543, 11);

  activityLabel_ = label(this, "Label1", "File activity: ", 10, 201);
  includeSubfoldersBox_ = check(
      this, "IncSubs", "Inc sub folders",
      "Include sub-folders when dropped or sent or source folder selected", 451, 200, 93, 17, true);
  sourceFolderButton_ =
      button("Button7", "Source folder", "Select all image files in a folder", 9, 222, 71, 25);
  sourceFilesButton_ = button("Button1", "Source files", "Select image files", 81, 222, 71, 25);
  destinationButton_ =
      button("Button6", "Destination", "Select destination folder", 153, 222, 71, 25);
  destinationEdit_ = new QLineEdit(this);
  destinationEdit_->setObjectName(QStringLiteral("Edit1"));
  destinationEdit_->setStatusTip(
      QStringLiteral("Destination folder - will accept drag from explorer"));
  place(destinationEdit_, 227, 224, 321, 21);
  openDestinationButton_ = button("Button4", "?", "Open destination folder", 532, 226, 16, 17);

  fastCopyGroup_ = new QGroupBox(QStringLiteral("Fast File Copy"), this);
  fastCopyGroup_->setObjectName(QStringLiteral("GroupBox2"));
  place(fastCopyGroup_, 8, 256, 545, 47);
  fastCopyBox_ = check(fastCopyGroup_, "fastcopy", "",
                       "Copy source files to destination.  No change in size or format", 78, -2, 17,
                       17, false);
  bufferSizeLabel_ = label(fastCopyGroup_, "Label4", "Buffer size (Kb)", 26, 19);
  bufferSizeLabel_->setEnabled(false);
  bufferSizeBox_ = new NumberBox(8, 512, 8, 64, fastCopyGroup_);
  bufferSizeBox_->setObjectName(QStringLiteral("Buff"));
  bufferSizeBox_->setStatusTip(QStringLiteral("Set buffer size used in fast copying.  "));
  bufferSizeBox_->setEnabled(false);
  place(bufferSizeBox_, 104, 14, 49, 22);
  copyOverwriteBox_ =
      check(fastCopyGroup_, "Overwrite", "Overwrite",
            "Overwrite files if they exist in destination, otherwise create .BAK file", 164, 17, 73,
            17, false);
  copyOverwriteBox_->setEnabled(false);
  copyTimesBox_ = check(fastCopyGroup_, "CopyTimes", "Copy file times",
                        "Copy file datetimes to destination file", 239, 17, 91, 17, false);
  copyTimesBox_->setEnabled(false);
  copyAttributesBox_ = check(fastCopyGroup_, "CopyAttrs", "Copy file attributes",
                             "Copy file attributes to destination file", 332, 17, 107, 17, false);
  copyAttributesBox_->setEnabled(false);

  memoryUsageBox_ = check(this, "CheckBox3", "", "Show memory usage", 10, 311, 17, 17, false);
  memoryLabel_ = label(this, "WLabel", "Memory usage:", 38, 313);
  memoryLabel_->setEnabled(false);
  peakMemoryLabel_ = label(this, "PLabel", "Peak memory usage:", 177, 313);
  peakMemoryLabel_->setEnabled(false);
  startButton_ = button("Button2", "START", "Process files", 350, 307, 51, 25);
  pauseButton_ = button("Button3", "PAUSE", "Pause process", 405, 307, 75, 25);
  pauseButton_->setEnabled(false);
  quitButton_ = button("Button5", "QUIT", "Quit process and reset counters", 484, 307, 51, 25);
  quitButton_->setEnabled(false);

  resizeGroup_ = new QGroupBox(QStringLiteral("Resizing/reformatting"), this);
  resizeGroup_->setObjectName(QStringLiteral("GroupBox1"));
  resizeGroup_->setStatusTip(
      QStringLiteral("Options used for changing format and/or size.  Not used in Fast Copy"));
  place(resizeGroup_, 8, 335, 545, 124);
  outputFormatGroup_ =
      new RadioGroupBox(QStringLiteral("Output file format"),
                        {QStringLiteral("Source"), QStringLiteral(".jpg"), QStringLiteral(".png"),
                         QStringLiteral(".gif"), QStringLiteral(".emf"), QStringLiteral(".bmp"),
                         QStringLiteral(".jp2")},
                        2, 0, resizeGroup_);
  outputFormatGroup_->setObjectName(QStringLiteral("Output"));
  outputFormatGroup_->setStatusTip(
      QStringLiteral("Keep format the same as source file or save as selected"));
  place(outputFormatGroup_, 9, 17, 125, 100);
  cropBox_ = check(resizeGroup_, "CropBox", "16:9", "Output landscape images in 16:9 format", 74,
                   93, 45, 17, false);
  nameAdditionGroup_ = new RadioGroupBox(
      QStringLiteral("Filename addition"),
      {QStringLiteral("Prefix"), QStringLiteral("Postfix"), QStringLiteral("None")}, 1, 2,
      resizeGroup_);
  nameAdditionGroup_->setObjectName(QStringLiteral("Addition"));
  nameAdditionGroup_->setStatusTip(QStringLiteral("File name addition"));
  place(nameAdditionGroup_, 138, 17, 126, 78);
  additionEdit_ = new QLineEdit(QStringLiteral("_t"), resizeGroup_);
  additionEdit_->setObjectName(QStringLiteral("Thing"));
  additionEdit_->setStatusTip(
      QStringLiteral("Added text - must comply with rules for setting file names"));
  place(additionEdit_, 205, 51, 51, 21);
  defaultFormatLabel_ = label(resizeGroup_, "Label5", "Default format", 144, 100);
  defaultFormatCombo_ = new CompletingComboBox(
      {QStringLiteral(".jpg"), QStringLiteral(".png"), QStringLiteral(".gif"),
       QStringLiteral(".emf"), QStringLiteral(".bmp"), QStringLiteral(".jp2")},
      resizeGroup_);
  defaultFormatCombo_->setObjectName(QStringLiteral("DefaultFormat"));
  defaultFormatCombo_->setStatusTip(
      QStringLiteral("Default output format if Source selected and is not a handled format"));
  defaultFormatCombo_->setCurrentIndex(0);
  place(defaultFormatCombo_, 215, 97, 49, 21);
  sizeModeGroup_ = new RadioGroupBox(
      QStringLiteral("Max output size "),
      {QStringLiteral("Largest"), QStringLiteral("Width"), QStringLiteral("Height")}, 1, 0,
      resizeGroup_);
  sizeModeGroup_->setObjectName(QStringLiteral("MaxSize"));
  sizeModeGroup_->setStatusTip(QStringLiteral("Max output size by dimension in pixels or %"));
  place(sizeModeGroup_, 268, 17, 172, 78);
  pixelsButton_ = new QRadioButton(QStringLiteral("Pixs"), resizeGroup_);
  pixelsButton_->setObjectName(QStringLiteral("DoPixs"));
  pixelsButton_->setStatusTip(QStringLiteral("Sizing in pixels"));
  pixelsButton_->setChecked(true);
  place(pixelsButton_, 337, 37, 37, 17);
  percentButton_ = new QRadioButton(QStringLiteral("%"), resizeGroup_);
  percentButton_->setObjectName(QStringLiteral("DoPer"));
  percentButton_->setStatusTip(QStringLiteral("Output image size as % of original size"));
  place(percentButton_, 337, 63, 37, 17);
  sizePixelsBox_ = new NumberBox(32, 5000, 10, 320, resizeGroup_);
  sizePixelsBox_->setObjectName(QStringLiteral("SpinEdit1"));
  sizePixelsBox_->setStatusTip(QStringLiteral("Maximum size of output image (32-5000 pixs)"));
  place(sizePixelsBox_, 379, 34, 50, 22);
  sizePercentBox_ = new NumberBox(1, 99, 10, 50, resizeGroup_);
  sizePercentBox_->setObjectName(QStringLiteral("SpinEdit2"));
  sizePercentBox_->setStatusTip(QStringLiteral("% of original size"));
  place(sizePercentBox_, 379, 61, 50, 22);
  filterLabel_ = label(resizeGroup_, "Label2", "Resampling filter", 453, 26);
  filterCombo_ = new CompletingComboBox(
      {QStringLiteral("None"), QStringLiteral("Box"), QStringLiteral("Triangle"),
       QStringLiteral("Hermite"), QStringLiteral("Bell"), QStringLiteral("BSpline"),
       QStringLiteral("Lanczos3"), QStringLiteral("Mitchell ")},
      resizeGroup_);
  filterCombo_->setObjectName(QStringLiteral("Filters"));
  filterCombo_->setStatusTip(
      QStringLiteral("Filter used when resampling - None is faster and probably good enough"));
  // Lanczos3: the list position now selects the kernel its label names.
  filterCombo_->setCurrentIndex(6);
  place(filterCombo_, 453, 43, 80, 21);
  resizeOverwriteBox_ =
      check(resizeGroup_, "ResOverWrite", "Overwrite",
            "Overwrite files if they exist in destination", 453, 72, 73, 17, false);

  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar1"));
  statusBar_->setSizeGripEnabled(false);
  place(statusBar_, 0, 464, 562, 19);

  // Floats over the list, so it is made last.
  previewPanel_ = new FloatingPanel(this);
  previewPanel_->setObjectName(QStringLiteral("MovPanel1"));
  place(previewPanel_, 424, 96, 89, 65);
  previewImage_ = new PreviewImage();
  previewImage_->setObjectName(QStringLiteral("Image1"));
  previewImage_->setStatusTip(QStringLiteral("Double click to close"));
  previewPanel_->setContent(previewImage_);
  previewPanel_->hide();

  listMenu_ = new QMenu(this);
  listMenu_->setObjectName(QStringLiteral("PopupMenu1"));
  selectAllAction_ = listMenu_->addAction(QStringLiteral("Select all"));
  selectAllAction_->setObjectName(QStringLiteral("Selectall1"));
  deleteAction_ = listMenu_->addAction(QStringLiteral("Delete"));
  deleteAction_->setObjectName(QStringLiteral("Delete1"));
  pasteAction_ = listMenu_->addAction(QStringLiteral("Paste"));
  pasteAction_->setObjectName(QStringLiteral("Paste1"));

  fileDialog_ = new QFileDialog(this, QStringLiteral("Select image files"));
  fileDialog_->setObjectName(QStringLiteral("OD1"));
  fileDialog_->setFileMode(QFileDialog::ExistingFiles);
  fileDialog_->setOption(QFileDialog::DontUseNativeDialog);
  fileDialog_->setSizeGripEnabled(true);
  fileDialog_->resize(scaled(720), scaled(460));
  folderDialog_ = new FolderDialog(this);
  folderDialog_->setObjectName(QStringLiteral("SD1"));

  memoryTimer_ = new QTimer(this);
  memoryTimer_->setObjectName(QStringLiteral("Timer1"));
  memoryTimer_->setInterval(1000);

  // Shell drops are the window's alone: no control takes them as text.
  for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);
}

void MainWindow::connectHandlers() {
  // Each handler's errors are caught right at the handler and go to the error hook: unwinding
  // through Qt's event delivery would leak what Qt holds on its stack.
  const auto guarded = [this](void (MainWindow::*handler)()) {
    return [this, handler] { GuardedCall([this, handler] { (this->*handler)(); }); };
  };
  connect(sourceFilesButton_, &QPushButton::clicked, this,
          guarded(&MainWindow::onSourceFilesClicked));
  connect(sourceFolderButton_, &QPushButton::clicked, this,
          guarded(&MainWindow::onSourceFolderClicked));
  connect(startButton_, &QPushButton::clicked, this, guarded(&MainWindow::onStartClicked));
  connect(pauseButton_, &QPushButton::clicked, this, guarded(&MainWindow::onPauseClicked));
  connect(quitButton_, &QPushButton::clicked, this, guarded(&MainWindow::onQuitClicked));
  connect(openDestinationButton_, &QPushButton::clicked, this,
          guarded(&MainWindow::onOpenDestinationClicked));
  connect(destinationButton_, &QPushButton::clicked, this,
          guarded(&MainWindow::onDestinationClicked));
  // Check boxes act on every change of state, also one made by the program.
  connect(sendToBox_, &QCheckBox::toggled, this, guarded(&MainWindow::onSendToToggled));
  connect(stayOnTopBox_, &QCheckBox::toggled, this, guarded(&MainWindow::onStayOnTopToggled));
  connect(useSkinBox_, &QCheckBox::toggled, this, guarded(&MainWindow::onUseSkinToggled));
  connect(fastCopyBox_, &QCheckBox::toggled, this, guarded(&MainWindow::onFastCopyToggled));
  connect(memoryUsageBox_, &QCheckBox::toggled, this, guarded(&MainWindow::onMemoryUsageToggled));
  connect(memoryTimer_, &QTimer::timeout, this, guarded(&MainWindow::updateMemoryLabels));
  connect(selectAllAction_, &QAction::triggered, sourceList_, &QListWidget::selectAll);
  connect(deleteAction_, &QAction::triggered, this, guarded(&MainWindow::onDeleteTriggered));
  connect(pasteAction_, &QAction::triggered, this, guarded(&MainWindow::onPasteTriggered));
  connect(sourceList_, &SourceListWidget::listDoubleClicked, this,
          guarded(&MainWindow::onListDoubleClicked));
  connect(sourceList_, &SourceListWidget::keyPressed, this,
          [this](int key) { GuardedCall([this, key] { onListKeyPressed(key); }); });
  connect(sourceList_, &SourceListWidget::pasteKeyPressed, this,
          guarded(&MainWindow::onPasteTriggered));
  connect(sourceList_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    listMenu_->popup(sourceList_->viewport()->mapToGlobal(pos));
  });
  connect(previewImage_, &PreviewImage::doubleClicked, this,
          guarded(&MainWindow::onPreviewDoubleClicked));
  // A press on the picture is the panel's, in the picture's own coordinates.
  connect(previewImage_, &PreviewImage::pressed, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos,
                 QPoint globalPos) {
            GuardedCall([&] { previewPanel_->pressAt(button, modifiers, pos, globalPos); });
          });
  connect(batch_, &BatchController::runStarted, this, &MainWindow::onBatchStarted);
  connect(batch_, &BatchController::stateChanged, this, &MainWindow::onBatchStateChanged);
  connect(batch_, &BatchController::entryTaken, this, [this] {
    progressBar_->setValue(std::max(progressBar_->minimum(), progressBar_->value() - 1));
  });
  connect(batch_, &BatchController::entryEnded, this, &MainWindow::markEntry);
  connect(batch_, &BatchController::runEnded, this,
          [this](const QString& activity) { setLabelText(activityLabel_, activity); });
  connect(batch_, &BatchController::closeReady, this, &QWidget::close);
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { GuardedCall([this] { updateHint(); }); });
}

void MainWindow::startUp(const QStringList& paths) {
  try {
    if (!paths.isEmpty()) {
      for (const QString& path : paths) addPath(ToPath(path));
      updateFileCount();
    }
    setAcceptDrops(true);
    sendToBox_->setChecked(SendToLinkExists());
    if (Application* app = App())
      app->SetErrorHook(this, [this](const std::exception& error) { showError(error); });
    // previewPanel_ needs nothing more: Qt paints every widget double-buffered.
  } catch (const std::exception& error) {
    // The hook is not installed yet: the message alone, no PAUSE.
    ShowErrorBox(QString::fromUtf8(error.what()));
  }
}

bool MainWindow::event(QEvent* event) {
  // Hints go to the status bar by updateHint only, never as Qt's own status tips.
  if (event->type() == QEvent::StatusTip) return true;
  return QWidget::event(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (QScreen* s = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (batch_->busy()) {
    batch_->quitAndClose();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::updateHint() {
  const QString hint = hintAt(QCursor::pos());
  if (statusBar_->currentMessage() != hint) statusBar_->showMessage(hint);
}

QString MainWindow::hintAt(QPoint globalPos) const {
  QWidget* const under = QApplication::widgetAt(globalPos);
  // Over a failed entry the status bar tells why it failed.
  if (under && under == sourceList_->viewport()) {
    const QListWidgetItem* item = sourceList_->itemAt(under->mapFromGlobal(globalPos));
    if (item && !item->data(kEntryErrorRole).toString().isEmpty())
      return item->data(kEntryErrorRole).toString();
  }
  for (QWidget* w = under; w && w->window() == this; w = w->parentWidget())
    if (!w->statusTip().isEmpty()) return w->statusTip();
  return {};
}

void MainWindow::showError(const std::exception& error) {
  const QString message = QString::fromUtf8(error.what());
  // PAUSE/CONTINUE is enabled exactly while a run exists; pressed while idle, a CONTINUE caption
  // would start a whole batch nobody asked for.
  if (batch_->active()) {
    try {
      batch_->pauseOrContinue();
    } catch (const std::exception& nested) {
      ShowErrorBox(QString::fromUtf8(nested.what()));
    }
  }
  ShowErrorBox(message);
}

QString MainWindow::entryError(int row) const {
  const QListWidgetItem* item = sourceList_->item(row);
  return item ? item->data(kEntryErrorRole).toString() : QString();
}

// ---- Source list

void MainWindow::addPath(const std::string& path) {
  ::tessane::AddPath(path, includeSubfoldersBox_->isChecked(),
                     [this](const std::string& file) { sourceList_->addItem(FromPath(file)); });
}

void MainWindow::updateFileCount() {
  setLabelText(fileCountLabel_, QStringLiteral("Files: %1").arg(sourceList_->count()));
}

void MainWindow::onSourceFilesClicked() {
  RegisterStandardFormats();
  fileDialog_->setNameFilters(NameFilters(PictureFilter()));
  if (!lastFilter_.isEmpty()) fileDialog_->selectNameFilter(lastFilter_);
  FitDialogToScreen(fileDialog_);
  if (fileDialog_->exec() == QDialog::Accepted) {
    lastFilter_ = fileDialog_->selectedNameFilter();
    // The dialog's names skip the extension test.
    for (const QString& file : fileDialog_->selectedFiles()) sourceList_->addItem(file);
  }
  updateFileCount();
}

void MainWindow::onSourceFolderClicked() {
  struct CountOnExit {
    MainWindow* form;
    ~CountOnExit() { form->updateFileCount(); }
  } counter{this};
  if (folderDialog_->Execute(QDir::currentPath())) addPath(ToPath(folderDialog_->Directory()));
}

void MainWindow::dropPaths(const QStringList& names, QPoint clientPos) {
  if (destinationEdit_->geometry().contains(clientPos) && names.size() == 1) {
    if (IsFolder(ToPath(names[0]))) destinationEdit_->setText(names[0]);
  } else if (sourceList_->geometry().contains(clientPos)) {
    for (auto it = names.crbegin(); it != names.crend(); ++it) addPath(ToPath(*it));
  }
  updateFileCount();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) names << url.toLocalFile();
  event->acceptProposedAction();
  dropPaths(names, event->position().toPoint());
}

void MainWindow::onPasteTriggered() {
  struct CountOnExit {
    MainWindow* form;
    ~CountOnExit() { form->updateFileCount(); }
  } counter{this};
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasUrls()) return;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) addPath(ToPath(url.toLocalFile()));
}

void MainWindow::onDeleteTriggered() {
  for (int i = sourceList_->count() - 1; i >= 0; --i)
    if (sourceList_->item(i)->isSelected())
      std::unique_ptr<QListWidgetItem>(sourceList_->takeItem(i));
  updateFileCount();
}

void MainWindow::onListKeyPressed(int key) {
  if (key == Qt::Key_Delete) onDeleteTriggered();
  updateFileCount();
}

void MainWindow::onListDoubleClicked() {
  int index = sourceList_->currentRow();
  // The caret rests on the first entry until the user moves it.
  if (index < 0 && sourceList_->count() > 0) index = 0;
  if (index < 0 || index >= sourceList_->count())
    throw ListIndexError(Format("List index out of bounds (%d)", index));
  previewImage_->SetPicture(RenderPreview(ToPath(sourceList_->item(index)->text())));
  previewPanel_->show();
  previewPanel_->raise();
}

void MainWindow::onPreviewDoubleClicked() {
  previewPanel_->hide();
}

// ---- Batch run

void MainWindow::onStartClicked() {
  if (sourceList_->count() == 0) return;
  if (destinationEdit_->text().isEmpty()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("Destination will be source folder and files may be "
                                   "overwritten!  Continue?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setEscapeButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Ok) return;
  }
  if (!destinationReady()) return;
  batch_->start();
}

void MainWindow::onPauseClicked() {
  batch_->pauseOrContinue();
}

void MainWindow::onQuitClicked() {
  batch_->quit();
}

bool MainWindow::destinationReady() {
  const std::string folder = ToPath(destinationEdit_->text());
  if (folder.empty() || DirectoryExists(folder)) return true;
  if (!FolderDialog::ConfirmCreate(this)) return false;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  if (!DirectoryExists(folder)) throw FileSystemError("Unable to create directory");
  return true;
}

void MainWindow::onBatchStarted(int files) {
  clearEntryMarks();
  setLabelText(activityLabel_, QStringLiteral("File activity:"));
  progressBar_->setMaximum(files);
  progressBar_->setValue(files);
}

void MainWindow::onBatchStateChanged() {
  pauseButton_->setText(batch_->paused() ? QStringLiteral("CONTINUE") : QStringLiteral("PAUSE"));
  pauseButton_->setEnabled(batch_->active());
  quitButton_->setEnabled(batch_->active());
}

void MainWindow::markEntry(int rowHint, quint64 entryId, bool failed, const QString& error) {
  const auto isEntry = [entryId](const QListWidgetItem* item) {
    return item && item->data(kEntryIdRole).toULongLong() == entryId;
  };
  QListWidgetItem* item = sourceList_->item(rowHint);
  // Entries above it may have been deleted while the work waited, or the entry itself.
  for (int row = 0; !isEntry(item) && row < sourceList_->count(); ++row)
    item = sourceList_->item(row);
  if (!isEntry(item)) return;
  if (!failed) {
    ClearMark(item);
    return;
  }
  item->setData(kEntryErrorRole, error);
  item->setToolTip(error);
  item->setForeground(QColor(0xb0, 0x10, 0x20));
  item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
}

void MainWindow::clearEntryMarks() {
  for (int row = 0; row < sourceList_->count(); ++row) ClearMark(sourceList_->item(row));
}

void MainWindow::startJob(const std::string& source,
                          std::function<void(const std::exception_ptr&)> ended) {
  const std::string destFolder = ToPath(destinationEdit_->text());
  if (fastCopyBox_->isChecked()) {
    // Read past the box's range while it has the focus the value can overflow 32 bits.
    const int64_t buffer = std::clamp<int64_t>(int64_t{bufferSizeBox_->Value()} * 1024,
                                               std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max());
    CopyJobThread* job =
        NewThread<CopyJobThread>(source, CopyOutputPath(source, destFolder),
                                 static_cast<int32_t>(buffer), copyOverwriteBox_->isChecked());
    // Safe after the start: the copy runs only when this thread next processes messages.
    job->copy_attrs = copyAttributesBox_->isChecked();
    job->copy_times = copyTimesBox_->isChecked();
    job->OnWorkEnded = std::move(ended);
    return;
  }

  OutputNaming naming;
  naming.DestFolder = destFolder;
  naming.OutputIndex = outputFormatGroup_->ItemIndex();
  naming.OutputExt =
      naming.OutputIndex > 0 ? ToPath(outputFormatGroup_->ItemText(naming.OutputIndex)) : "";
  naming.DefaultFormat = ToPath(defaultFormatCombo_->SelectedText());
  naming.Addition = nameAdditionGroup_->ItemIndex();
  naming.Thing = ToPath(additionEdit_->text());
  const bool percent = percentButton_->isChecked();
  const auto sizeMode = static_cast<uint8_t>(percent ? kSizePercent : sizeModeGroup_->ItemIndex());
  // An emptied list reads -1, which reaches the job as 255.
  const auto filter = static_cast<uint8_t>(filterCombo_->ItemIndex());
  const int32_t size = percent ? sizePercentBox_->Value() : sizePixelsBox_->Value();
  ResizeJobThread* job =
      NewThread<ResizeJobThread>(source, ResizeOutputPath(source, naming), sizeMode, filter, size);
  job->crop = cropBox_->isChecked();
  job->overwrite = resizeOverwriteBox_->isChecked();
  job->OnWorkEnded = std::move(ended);
  job->Start();
}

// ---- Window options

void MainWindow::onSendToToggled() {
  if (sendToBox_->isChecked())
    CreateSendToLink(ToPath(QCoreApplication::applicationFilePath()));
  else
    DeleteSendToLink();
}

void MainWindow::onOpenDestinationClicked() {
  if (!destinationEdit_->text().isEmpty())
    QDesktopServices::openUrl(QUrl::fromLocalFile(destinationEdit_->text()));
}

void MainWindow::onDestinationClicked() {
  if (folderDialog_->Execute(QDir::currentPath()))
    destinationEdit_->setText(folderDialog_->Directory());
}

void MainWindow::onStayOnTopToggled() {
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, stayOnTopBox_->isChecked());
  // Changing the flags hides the window.
  if (visible) show();
}

void MainWindow::onUseSkinToggled() {
  SetSkinActive(this, !SkinActive());
  applyLayoutFont();
}

void MainWindow::onFastCopyToggled() {
  const bool copying = fastCopyBox_->isChecked();
  resizeGroup_->setEnabled(!copying);
  for (QWidget* control : std::initializer_list<QWidget*>{
           outputFormatGroup_, cropBox_, nameAdditionGroup_, additionEdit_, defaultFormatLabel_,
           defaultFormatCombo_, sizeModeGroup_, pixelsButton_, percentButton_, sizePixelsBox_,
           sizePercentBox_, filterLabel_, filterCombo_, resizeOverwriteBox_})
    control->setEnabled(!copying);
  for (QWidget* control : std::initializer_list<QWidget*>{
           bufferSizeLabel_, bufferSizeBox_, copyOverwriteBox_, copyTimesBox_, copyAttributesBox_})
    control->setEnabled(copying);
}

void MainWindow::onMemoryUsageToggled() {
  if (memoryUsageBox_->isChecked())
    memoryTimer_->start();
  else
    memoryTimer_->stop();
  memoryLabel_->setEnabled(memoryTimer_->isActive());
  peakMemoryLabel_->setEnabled(memoryTimer_->isActive());
}

void MainWindow::updateMemoryLabels() {
  setLabelText(memoryLabel_,
               QString::fromStdString(Format("Memory usage: %.0fK", GetMemoryUsage() / 1024.0)));
  setLabelText(peakMemoryLabel_, QString::fromStdString(Format("Peak memory usage: %.0fK",
                                                               GetPeakMemoryUsage() / 1024.0)));
}

}  // namespace tessane
