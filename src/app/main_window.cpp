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
#include "jobs/requests.h"
#include "jobs/resize_job_thread.h"
#include "jobs/run_files.h"
#include "jobs/source_scan.h"
#include "raster/filters.h"
#include "ui_main_window.h"

namespace tessane {

namespace {

// Paths are bytes; the controls hold text.
std::string ToPath(const QString& text) {
  return QFile::encodeName(text).toStdString();
}
QString FromPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// The lists the window offers, in the tables' order.
QStringList OutputExtensions() {
  QStringList extensions;
  for (const WriterFormat& writer : OutputFormats())
    extensions << QString::fromUtf8(writer.ext.data(), static_cast<qsizetype>(writer.ext.size()));
  return extensions;
}

QStringList FilterLabels() {
  QStringList labels;
  for (const FilterInfo& info : OfferedFilters())
    labels << QString::fromUtf8(info.label.data(), static_cast<qsizetype>(info.label.size()));
  return labels;
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
  scale_ = logicalDpiX() / 96.0;
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  // The layout's captions were sized for a narrow face; common sans faces are wider.
  font.setStretch(QFont::Condensed);
  layoutFont_ = font;
  setFont(font);
  setWindowIcon(ApplicationIcon());
  createControls();
  setFixedSize(scaled(562), scaled(483));
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
  if (Application* app = App()) app->clearErrorHook(this);
}

int MainWindow::scaled(int value) const {
  return static_cast<int>(std::lround(value * scale_));
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
  sourceList_->resize(sourceList_->width(), rows * sourceList_->itemHeight() + 2 * frame);
}

void MainWindow::createControls() {
  Ui::MainWindow ui;
  ui.setupUi(this);
  ui.Output->setItems(QStringList{QStringLiteral("Source")} + OutputExtensions());
  ui.Output->setItemIndex(0);
  ui.DefaultFormat->addItems(OutputExtensions());
  ui.DefaultFormat->setCurrentIndex(0);
  ui.Filters->addItems(FilterLabels());
  ui.Filters->setCurrentIndex(ListPositionOf(kDefaultFilter));
  // The .ui holds the layout at 96 dpi; a denser screen gets every rectangle scaled (the radio
  // groups place their own items).
  if (scale_ != 1.0) {
    for (QWidget* parent : std::initializer_list<QWidget*>{this, ui.GroupBox1, ui.GroupBox2})
      for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect r = child->geometry();
        child->setGeometry(scaled(r.x()), scaled(r.y()), scaled(r.width()), scaled(r.height()));
      }
  }
  // The .ui names each control as the layout always has (its object name, by which tests and
  // tools find it); the window knows it by its role.
  fileCountLabel_ = ui.Label3;
  sendToBox_ = ui.SendTo;
  stayOnTopBox_ = ui.CheckBox1;
  useSkinBox_ = ui.CheckBox2;
  sourceList_ = ui.ListBox1;
  previewPanel_ = ui.MovPanel1;
  previewImage_ = ui.Image1;
  progressBar_ = ui.ProgressBar1;
  activityLabel_ = ui.Label1;
  includeSubfoldersBox_ = ui.IncSubs;
  sourceFolderButton_ = ui.Button7;
  sourceFilesButton_ = ui.Button1;
  destinationButton_ = ui.Button6;
  destinationEdit_ = ui.Edit1;
  openDestinationButton_ = ui.Button4;
  fastCopyGroup_ = ui.GroupBox2;
  fastCopyBox_ = ui.fastcopy;
  bufferSizeLabel_ = ui.Label4;
  bufferSizeBox_ = ui.Buff;
  copyOverwriteBox_ = ui.Overwrite;
  copyTimesBox_ = ui.CopyTimes;
  copyAttributesBox_ = ui.CopyAttrs;
  memoryUsageBox_ = ui.CheckBox3;
  memoryLabel_ = ui.WLabel;
  peakMemoryLabel_ = ui.PLabel;
  startButton_ = ui.Button2;
  pauseButton_ = ui.Button3;
  quitButton_ = ui.Button5;
  resizeGroup_ = ui.GroupBox1;
  outputFormatGroup_ = ui.Output;
  cropBox_ = ui.CropBox;
  nameAdditionGroup_ = ui.Addition;
  additionEdit_ = ui.Thing;
  defaultFormatLabel_ = ui.Label5;
  defaultFormatCombo_ = ui.DefaultFormat;
  sizeModeGroup_ = ui.MaxSize;
  pixelsButton_ = ui.DoPixs;
  percentButton_ = ui.DoPer;
  sizePixelsBox_ = ui.SpinEdit1;
  sizePercentBox_ = ui.SpinEdit2;
  filterLabel_ = ui.Label2;
  filterCombo_ = ui.Filters;
  resizeOverwriteBox_ = ui.ResOverWrite;
  statusBar_ = ui.StatusBar1;

  sourceList_->setItemHeight(scaled(13));
  sourceList_->setIconSize(QSize(scaled(13) - 2, scaled(13) - 2));
  // Floats over the list, so the .ui makes it last; shown by a double click on an entry.
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
      app->setErrorHook(this, [this](const std::exception& error) { showError(error); });
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
  if (folderDialog_->chooseFolder(QDir::currentPath())) addPath(ToPath(folderDialog_->directory()));
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
  previewImage_->setPicture(RenderPreview(ToPath(sourceList_->item(index)->text())));
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
  // The question above allowed a source to be replaced by its own output; never by another's.
  runFiles_ = std::make_shared<RunFiles>(/*replace_own_source=*/true,
                                         "The output would replace another source file");
  for (int row = 0; row < sourceList_->count(); ++row)
    runFiles_->AddSource(ToPath(sourceList_->item(row)->text()));
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
  if (!FolderDialog::confirmCreate(this)) return false;
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
  BatchSettings settings;
  settings.run_files = runFiles_;
  settings.naming.dest_folder = ToPath(destinationEdit_->text());
  if (fastCopyBox_->isChecked()) {
    // Read past the box's range while it has the focus the value can overflow 32 bits.
    settings.buffer_size = static_cast<int32_t>(std::clamp<int64_t>(
        int64_t{bufferSizeBox_->value()} * 1024, std::numeric_limits<int32_t>::min(),
        std::numeric_limits<int32_t>::max()));
    settings.copy_overwrite = copyOverwriteBox_->isChecked();
    settings.copy_attrs = copyAttributesBox_->isChecked();
    settings.copy_times = copyTimesBox_->isChecked();
    CopyJobThread* job = NewThread<CopyJobThread>(MakeCopyRequest(source, settings));
    // Safe after the start: the copy runs only when this thread next processes messages.
    job->on_work_ended = std::move(ended);
    return;
  }

  OutputNaming& naming = settings.naming;
  naming.output_index = outputFormatGroup_->itemIndex();
  naming.output_ext =
      naming.output_index > 0 ? ToPath(outputFormatGroup_->itemText(naming.output_index)) : "";
  naming.default_format = ToPath(defaultFormatCombo_->selectedText());
  naming.addition = nameAdditionGroup_->itemIndex();
  naming.addition_text = ToPath(additionEdit_->text());
  const bool percent = percentButton_->isChecked();
  settings.size_mode = static_cast<uint8_t>(percent ? kSizePercent : sizeModeGroup_->itemIndex());
  // An emptied list reads -1: the kernel resampler's box kernel, as always.
  settings.filter = FilterAtListPosition(filterCombo_->itemIndex());
  settings.size = percent ? sizePercentBox_->value() : sizePixelsBox_->value();
  settings.crop = cropBox_->isChecked();
  settings.resize_overwrite = resizeOverwriteBox_->isChecked();
  ResizeJobThread* job = NewThread<ResizeJobThread>(MakeResizeRequest(source, settings));
  job->on_work_ended = std::move(ended);
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
  if (folderDialog_->chooseFolder(QDir::currentPath()))
    destinationEdit_->setText(folderDialog_->directory());
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
