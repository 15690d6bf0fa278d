#include "app/main_window.h"

#include <sys/stat.h>

#include <QAbstractButton>
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
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <tuple>

#include "app/application.h"
#include "app/batch_controller.h"
#include "app/controls.h"
#include "app/desktop_entry.h"
#include "app/dialog_fit.h"
#include "app/file_worker.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/memory_usage.h"
#include "app/preview.h"
#include "app/skin.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/thread.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"
#include "formats/picture.h"
#include "jobs/copy_job.h"
#include "jobs/output_naming.h"
#include "jobs/requests.h"
#include "jobs/memory_budget.h"
#include "jobs/resize_job.h"
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

// The window writes its six formats only: a source in a format only the command writes (WebP,
// AVIF) takes the default format, as any other format the window does not write.
OutputNaming WindowNaming(const std::string& source, OutputNaming naming) {
  if (naming.output_index > 0) return naming;
  std::string windowExtensions;
  for (const WriterFormat& writer : OutputFormats()) windowExtensions += writer.ext;
  const std::string ext = LowerCaseAscii(ExtractFileExt(source));
  if (!ContainsText(windowExtensions, ext) && ContainsText(OutputExtensionsText(), ext)) {
    naming.output_index = 1;
    naming.output_ext = naming.default_format;
  }
  return naming;
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

// Where the options of the last close are kept (~/.config/tessane/tessane.conf).
QSettings OptionStore() {
  return QSettings(QStringLiteral("tessane"), QStringLiteral("tessane"));
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

MainWindow::MainWindow(const QStringList& paths, Settings settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settingsMode_(settings) {
  // Phones' formats are read here as by the command; the outputs stay the window's six.
  RegisterCommandLineFormats();
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
  worker_ = std::make_unique<FileWorker>();
  openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  batch_ = new BatchController(
      sourceList_,
      [this](const std::string& source, BatchController::JobEnded ended) {
        startJob(source, std::move(ended));
      },
      this);
  setKeyboardAccess();
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
  // Offered at the end of a run: where the outputs went.
  openOutputButton_ = new QPushButton(QStringLiteral("S&how outputs"), statusBar_);
  openOutputButton_->setObjectName(QStringLiteral("OpenOutput"));
  openOutputButton_->setFlat(true);
  openOutputButton_->setMaximumHeight(statusBar_->height() - 2);
  openOutputButton_->setStatusTip(QStringLiteral("Open the folder the outputs were written to"));
  statusBar_->addPermanentWidget(openOutputButton_);
  openOutputButton_->hide();

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
  listMenu_->addSeparator();
  restoreAction_ = listMenu_->addAction(QStringLiteral("&Restore start-up settings"));
  restoreAction_->setObjectName(QStringLiteral("RestoreSettings"));

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

void MainWindow::setKeyboardAccess() {
  // Alt+letter for every button, box and labelled field; the letters are unique in the window.
  const std::initializer_list<std::pair<QAbstractButton*, const char*>> buttons = {
      {sendToBox_, "Send&To link"},
      {stayOnTopBox_, "Sta&y on top"},
      {useSkinBox_, "Use s&kin"},
      {includeSubfoldersBox_, "Inc s&ub folders"},
      {sourceFolderButton_, "Source f&older"},
      {sourceFilesButton_, "Source f&iles"},
      {destinationButton_, "D&estination"},
      {copyOverwriteBox_, "O&verwrite"},
      {copyTimesBox_, "Copy file ti&mes"},
      {copyAttributesBox_, "Copy file &attributes"},
      {startButton_, "&START"},
      {pauseButton_, "&PAUSE"},
      {quitButton_, "&QUIT"},
      {cropBox_, "16:&9"},
      {pixelsButton_, "Pi&xs"},
      {resizeOverwriteBox_, "Over&write"}};
  for (const auto& [button, text] : buttons) button->setText(QString::fromUtf8(text));
  fastCopyGroup_->setTitle(QStringLiteral("&Fast File Copy"));
  outputFormatGroup_->setTitle(QStringLiteral("Output file fo&rmat"));
  nameAdditionGroup_->setTitle(QStringLiteral("Fi&lename addition"));
  sizeModeGroup_->setTitle(QStringLiteral("Max output si&ze "));
  const std::initializer_list<std::tuple<QLabel*, const char*, QWidget*>> labels = {
      {bufferSizeLabel_, "&Buffer size (Kb)", bufferSizeBox_},
      {defaultFormatLabel_, "&Default format", defaultFormatCombo_},
      {filterLabel_, "Resampli&ng filter", filterCombo_}};
  for (const auto& [label, text, buddy] : labels) {
    label->setText(QString::fromUtf8(text));
    label->setBuddy(buddy);
  }

  // Tab follows the layout: the top row, the list and its buttons, the copy group, the run
  // buttons, then the resize group column by column.
  QList<QWidget*> order = {sendToBox_,
                           stayOnTopBox_,
                           useSkinBox_,
                           sourceList_,
                           includeSubfoldersBox_,
                           sourceFolderButton_,
                           sourceFilesButton_,
                           destinationButton_,
                           destinationEdit_,
                           openDestinationButton_,
                           fastCopyBox_,
                           bufferSizeBox_,
                           copyOverwriteBox_,
                           copyTimesBox_,
                           copyAttributesBox_,
                           memoryUsageBox_,
                           startButton_,
                           pauseButton_,
                           quitButton_};
  for (int i = 0; i < outputFormatGroup_->count(); ++i) order << outputFormatGroup_->button(i);
  order << cropBox_;
  for (int i = 0; i < nameAdditionGroup_->count(); ++i) order << nameAdditionGroup_->button(i);
  order << additionEdit_ << defaultFormatCombo_;
  for (int i = 0; i < sizeModeGroup_->count(); ++i) order << sizeModeGroup_->button(i);
  order << pixelsButton_ << sizePixelsBox_ << percentButton_ << sizePercentBox_ << filterCombo_
        << resizeOverwriteBox_;
  for (int i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
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
  connect(openOutputButton_, &QPushButton::clicked, this,
          guarded(&MainWindow::onOpenOutputClicked));
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
  connect(restoreAction_, &QAction::triggered, this, guarded(&MainWindow::restoreStartUpValues));
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
  connect(batch_, &BatchController::entryTaken, this, &MainWindow::onEntryTaken);
  connect(batch_, &BatchController::entryEnded, this, &MainWindow::markEntry);
  connect(batch_, &BatchController::runEnded, this, &MainWindow::onRunEnded);
  connect(batch_, &BatchController::closeReady, this, &QWidget::close);
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { GuardedCall([this] { updateHint(); }); });
}

void MainWindow::startUp(const QStringList& paths) {
  startUpValues_ = optionValues();
  try {
    if (settingsMode_ == Settings::kRemembered) {
      QVariantMap stored;
      QSettings settings = OptionStore();
      for (const QString& key : settings.childKeys()) stored.insert(key, settings.value(key));
      setOptionValues(stored);
    }
    if (!paths.isEmpty()) {
      addPaths(paths);
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
  if (settingsMode_ == Settings::kRemembered) {
    QSettings settings = OptionStore();
    const QVariantMap values = optionValues();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
      settings.setValue(it.key(), it.value());
  }
  QWidget::closeEvent(event);
}

void MainWindow::updateHint() {
  const QString hint = hintAt(QCursor::pos());
  if (!feedback_.isEmpty()) {
    // Feedback stays until the pointer goes to another control.
    if (hint == feedbackHint_) return;
    feedback_.clear();
  }
  if (statusBar_->currentMessage() != hint) statusBar_->showMessage(hint);
}

void MainWindow::showFeedback(const QString& text) {
  feedback_ = text;
  feedbackHint_ = hintAt(QCursor::pos());
  statusBar_->showMessage(text);
}

QString MainWindow::feedback() const {
  return feedback_;
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
  addPaths({FromPath(path)});
}

namespace {
// The same file reached another way ("a//b", a link, a second hard link) is still the same
// entry: files are told apart by device and inode, names only where there is no file.
QString EntryKey(const QString& path) {
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) == 0)
    return QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
  return QDir::cleanPath(path);
}
}  // namespace

QSet<QString> MainWindow::listedKeys() const {
  QSet<QString> keys;
  keys.reserve(sourceList_->count());
  for (int row = 0; row < sourceList_->count(); ++row)
    keys.insert(EntryKey(sourceList_->item(row)->text()));
  return keys;
}

void MainWindow::addEntry(const QString& file, QSet<QString>& listed) {
  // A file listed twice would be written twice.
  if (listed.contains(EntryKey(file))) return;
  listed.insert(EntryKey(file));
  sourceList_->addItem(file);
}

void MainWindow::addPaths(const QStringList& paths) {
  QSet<QString> listed = listedKeys();
  for (const QString& path : paths)
    ::tessane::AddPath(ToPath(path), includeSubfoldersBox_->isChecked(),
                       [&](const std::string& file) { addEntry(FromPath(file), listed); });
}

void MainWindow::updateFileCount() {
  setLabelText(fileCountLabel_, QStringLiteral("Files: %1").arg(sourceList_->count()));
  // An emptied list takes the last batch's tallies with it.
  if (sourceList_->count() == 0 && !batch_->busy()) {
    setLabelText(activityLabel_, QStringLiteral("File activity: "));
    progressBar_->setValue(0);
    openOutputButton_->hide();
  }
}

void MainWindow::onSourceFilesClicked() {
  RegisterCommandLineFormats();
  fileDialog_->setNameFilters(NameFilters(PictureFilter()));
  if (!lastFilter_.isEmpty()) fileDialog_->selectNameFilter(lastFilter_);
  FitDialogToScreen(fileDialog_);
  if (fileDialog_->exec() == QDialog::Accepted) {
    lastFilter_ = fileDialog_->selectedNameFilter();
    // The dialog's names skip the extension test.
    QSet<QString> listed = listedKeys();
    for (const QString& file : fileDialog_->selectedFiles()) addEntry(file, listed);
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
    QStringList reversed;
    for (auto it = names.crbegin(); it != names.crend(); ++it) reversed << *it;
    addPaths(reversed);
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
  QStringList paths;
  if (data && data->hasUrls()) {
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) paths << url.toLocalFile();
  } else if (data && data->hasText()) {
    // A path copied as plain text, one per line.
    for (const QString& line : data->text().split(u'\n', Qt::SkipEmptyParts)) {
      const QString path = line.trimmed();
      if (path.startsWith(u'/') && QFileInfo::exists(path)) paths << path;
    }
  }
  const int before = sourceList_->count();
  addPaths(paths);
  if (sourceList_->count() == before)
    showFeedback(paths.isEmpty()
                     ? QStringLiteral("Nothing to paste: the clipboard holds no file or folder")
                     : QStringLiteral("Nothing pasted: no picture that is not listed yet"));
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
  const QString path = sourceList_->item(index)->text();
  QImage picture;
  try {
    picture = RenderPreview(ToPath(path));
  } catch (const std::exception& error) {
    // The panel must not go on showing another file beside this entry.
    previewImage_->setPicture(QImage());
    previewPanel_->hide();
    throw std::runtime_error(std::string(error.what()) + " [" + ToPath(path) + "]");
  }
  previewImage_->setPicture(std::move(picture));
  previewPanel_->show();
  previewPanel_->raise();
}

void MainWindow::onPreviewDoubleClicked() {
  previewPanel_->hide();
}

// ---- Batch run

void MainWindow::onStartClicked() {
  // Files go one at a time: a second batch waits until this one's loop has returned.
  if (sourceList_->count() == 0 || batch_->busy()) return;
  if (destinationEdit_->text().isEmpty()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("Destination will be source folder and files may be "
                                   "overwritten!  Continue?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setEscapeButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Ok) return;
  }
  if (!confirmReplacingSources()) return;
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
  openOutputButton_->hide();
  setLabelText(activityLabel_, QStringLiteral("File activity:"));
  // Fills file by file.
  progressBar_->setMaximum(std::max(files, 1));
  progressBar_->setValue(0);
}

void MainWindow::onEntryTaken(int number, int total, const QString& name) {
  // The name is elided in its middle to what the line has room for beside the count.
  const QString count = QStringLiteral("File activity: %1/%2 ").arg(number).arg(total);
  const int room = width() - activityLabel_->x() - scaled(8) -
                   activityLabel_->fontMetrics().horizontalAdvance(count);
  setLabelText(activityLabel_,
               count + activityLabel_->fontMetrics().elidedText(name, Qt::ElideMiddle, room));
}

void MainWindow::onRunEnded(const QString& activity) {
  setLabelText(activityLabel_, activity);
  const BatchController& b = *batch_;
  QString summary = QStringLiteral("%1 written").arg(b.processed() - b.failed());
  if (b.withWarnings() > 0) summary += QStringLiteral(" (%1 with warnings)").arg(b.withWarnings());
  if (b.failed() > 0) summary += QStringLiteral(", %1 failed").arg(b.failed());
  summary += QStringLiteral(" in %1 s").arg(QLocale().toString(b.seconds(), 'f', 1));
  if (b.paused()) summary = QStringLiteral("Paused: ") + summary;
  showFeedback(summary);
  openOutputButton_->setVisible(b.processed() > b.failed());
}

void MainWindow::onBatchStateChanged() {
  // A disabled button loses the focus to the next control in the Tab chain; it goes back to
  // START instead, where a keyboard user began.
  if (!batch_->active() && (pauseButton_->hasFocus() || quitButton_->hasFocus()))
    startButton_->setFocus(Qt::OtherFocusReason);
  pauseButton_->setText(batch_->paused() ? QStringLiteral("&CONTINUE") : QStringLiteral("&PAUSE"));
  pauseButton_->setEnabled(batch_->active());
  quitButton_->setEnabled(batch_->active());
}

void MainWindow::markEntry(int rowHint, quint64 entryId, const JobOutcome& outcome) {
  progressBar_->setValue(std::min(progressBar_->maximum(), progressBar_->value() + 1));
  const auto isEntry = [entryId](const QListWidgetItem* item) {
    return item && item->data(kEntryIdRole).toULongLong() == entryId;
  };
  QListWidgetItem* item = sourceList_->item(rowHint);
  // Entries above it may have been deleted while the work waited, or the entry itself.
  for (int row = 0; !isEntry(item) && row < sourceList_->count(); ++row)
    item = sourceList_->item(row);
  if (!isEntry(item)) return;
  if (outcome.kind == JobOutcome::Kind::kWritten) {
    ClearMark(item);
    return;
  }
  const bool failed = outcome.kind == JobOutcome::Kind::kFailed;
  item->setData(kEntryErrorRole, outcome.message);
  item->setToolTip(outcome.message);
  item->setForeground(failed ? QColor(0xb0, 0x10, 0x20) : QColor(0x8a, 0x5a, 0x00));
  item->setIcon(
      style()->standardIcon(failed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning));
}

void MainWindow::clearEntryMarks() {
  for (int row = 0; row < sourceList_->count(); ++row) ClearMark(sourceList_->item(row));
}

BatchSettings MainWindow::currentSettings() const {
  BatchSettings settings;
  settings.run_files = runFiles_;
  settings.naming.dest_folder = ToPath(destinationEdit_->text());
  // Read past the box's range while it has the focus the value can overflow 32 bits.
  settings.buffer_size = static_cast<int32_t>(std::clamp<int64_t>(
      int64_t{bufferSizeBox_->value()} * 1024, std::numeric_limits<int32_t>::min(),
      std::numeric_limits<int32_t>::max()));
  settings.copy_overwrite = copyOverwriteBox_->isChecked();
  settings.copy_attrs = copyAttributesBox_->isChecked();
  settings.copy_times = copyTimesBox_->isChecked();

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
  return settings;
}

int MainWindow::sourcesReplacedByOutputs() const {
  if (fastCopyBox_->isChecked() || !resizeOverwriteBox_->isChecked()) return 0;
  const BatchSettings settings = currentSettings();
  // Compared as the file system resolves them, so a folder typed another way (a trailing "/",
  // "..", a link) still counts as the sources' own.
  const auto resolved = [](const std::string& path) {
    std::error_code ignored;
    return std::filesystem::weakly_canonical(path, ignored).string();
  };
  std::set<std::string> sources;
  for (int row = 0; row < sourceList_->count(); ++row)
    sources.insert(resolved(ToPath(sourceList_->item(row)->text())));
  int replaced = 0;
  for (int row = 0; row < sourceList_->count(); ++row) {
    const std::string source = ToPath(sourceList_->item(row)->text());
    const std::string output =
        resolved(ResizeOutputPath(source, WindowNaming(source, settings.naming)));
    if (sources.count(output) > 0 && std::filesystem::exists(output)) ++replaced;
  }
  return replaced;
}

bool MainWindow::confirmReplacingSources() {
  const int replaced = sourcesReplacedByOutputs();
  if (replaced == 0) return true;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                  QStringLiteral("Overwrite is on: %1 source %2 would be replaced by %3 output "
                                 "and lost.  Replace the originals?")
                      .arg(replaced)
                      .arg(replaced == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                      .arg(replaced == 1 ? QStringLiteral("its") : QStringLiteral("their")),
                  QMessageBox::Yes | QMessageBox::Cancel, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("&Replace originals"));
  // One key press must not destroy originals.
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Yes;
}

namespace {

QString ErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QStringLiteral("Unknown error");
}

QString JoinedWarnings(const std::vector<std::string>& warnings) {
  QStringList lines;
  for (const std::string& warning : warnings) lines << QString::fromStdString(warning);
  return lines.join(QStringLiteral("; "));
}

// One file's work as the worker thread runs it; everything it needs is copied in.
JobOutcome RunJob(bool copying, const CopyRequest& copy, const ResizeRequest& resize) {
  JobOutcome outcome;
  try {
    if (copying) {
      CopyJob job(copy);
      job.CopyFileData();
      return outcome;
    }
    // One file at a time: each holds the default budget alone, so a picture that needs more
    // fails without being decoded.
    MemoryBudget budget(DefaultMemoryBudget());
    ResizeJob job(resize);
    job.budget = &budget;
    job.ProcessFile();
    if (!job.Written()) {
      // A file the dialog let through without a readable type: nothing was made of it.
      outcome.kind = JobOutcome::Kind::kFailed;
      outcome.message = QStringLiteral(
                            "Nothing written: \"%1\" is not a picture format this "
                            "program reads")
                            .arg(QString::fromStdString(ExtractFileName(resize.source_name)));
    } else if (!job.Warnings().empty()) {
      outcome.kind = JobOutcome::Kind::kWrittenWithWarnings;
      outcome.message = JoinedWarnings(job.Warnings());
    }
  } catch (...) {
    outcome.kind = JobOutcome::Kind::kFailed;
    outcome.message = ErrorMessage(std::current_exception());
  }
  return outcome;
}

}  // namespace

void MainWindow::startJob(const std::string& source, BatchController::JobEnded ended) {
  BatchSettings settings = currentSettings();
  settings.naming = WindowNaming(source, settings.naming);
  const bool copying = fastCopyBox_->isChecked();
  CopyRequest copy = copying ? MakeCopyRequest(source, settings) : CopyRequest{};
  ResizeRequest resize = copying ? ResizeRequest{} : MakeResizeRequest(source, settings);
  // The outcome comes back to this thread as a queued call.
  worker_->post([copying, copy = std::move(copy), resize = std::move(resize),
                 ended = std::move(ended), receiver = batch_]() mutable {
    JobOutcome outcome = RunJob(copying, copy, resize);
    // The worker is joined before the controller goes, so the receiver exists here.
    QMetaObject::invokeMethod(
        receiver, [ended = std::move(ended), outcome = std::move(outcome)] { ended(outcome); },
        Qt::QueuedConnection);
  });
}

// ---- Window options

QVariantMap MainWindow::optionValues() const {
  return {
      {QStringLiteral("destination"), destinationEdit_->text()},
      {QStringLiteral("includeSubfolders"), includeSubfoldersBox_->isChecked()},
      {QStringLiteral("fastCopy"), fastCopyBox_->isChecked()},
      {QStringLiteral("bufferSize"), bufferSizeBox_->value()},
      {QStringLiteral("copyOverwrite"), copyOverwriteBox_->isChecked()},
      {QStringLiteral("copyTimes"), copyTimesBox_->isChecked()},
      {QStringLiteral("copyAttributes"), copyAttributesBox_->isChecked()},
      {QStringLiteral("outputFormat"), outputFormatGroup_->itemIndex()},
      {QStringLiteral("crop"), cropBox_->isChecked()},
      {QStringLiteral("addition"), nameAdditionGroup_->itemIndex()},
      {QStringLiteral("additionText"), additionEdit_->text()},
      {QStringLiteral("defaultFormat"), defaultFormatCombo_->currentText()},
      {QStringLiteral("sizeMode"), sizeModeGroup_->itemIndex()},
      {QStringLiteral("percent"), percentButton_->isChecked()},
      {QStringLiteral("sizePixels"), sizePixelsBox_->value()},
      {QStringLiteral("sizePercent"), sizePercentBox_->value()},
      {QStringLiteral("filter"), filterCombo_->currentText()},
      {QStringLiteral("resizeOverwrite"), resizeOverwriteBox_->isChecked()},
      {QStringLiteral("useSkin"), useSkinBox_->isChecked()},
      {QStringLiteral("stayOnTop"), stayOnTopBox_->isChecked()},
  };
}

void MainWindow::setOptionValues(const QVariantMap& values) {
  // A value that is missing or out of place (an edited file) leaves its control as it is.
  const auto boxes = std::initializer_list<std::pair<const char*, QCheckBox*>>{
      {"includeSubfolders", includeSubfoldersBox_},
      {"fastCopy", fastCopyBox_},
      {"copyOverwrite", copyOverwriteBox_},
      {"copyTimes", copyTimesBox_},
      {"copyAttributes", copyAttributesBox_},
      {"crop", cropBox_},
      {"resizeOverwrite", resizeOverwriteBox_},
      {"useSkin", useSkinBox_},
      {"stayOnTop", stayOnTopBox_}};
  for (const auto& [key, box] : boxes)
    if (values.contains(QLatin1String(key))) box->setChecked(values[QLatin1String(key)].toBool());
  const auto numbers =
      std::initializer_list<std::pair<const char*, NumberBox*>>{{"bufferSize", bufferSizeBox_},
                                                                {"sizePixels", sizePixelsBox_},
                                                                {"sizePercent", sizePercentBox_}};
  for (const auto& [key, box] : numbers) {
    bool ok = false;
    const int value = values.value(QLatin1String(key)).toInt(&ok);
    if (ok) box->setValue(std::clamp(value, box->minValue(), box->maxValue()));
  }
  const auto groups = std::initializer_list<std::pair<const char*, RadioGroupBox*>>{
      {"outputFormat", outputFormatGroup_},
      {"addition", nameAdditionGroup_},
      {"sizeMode", sizeModeGroup_}};
  for (const auto& [key, group] : groups) {
    bool ok = false;
    const int index = values.value(QLatin1String(key)).toInt(&ok);
    if (ok && index >= 0 && index < group->count()) group->setItemIndex(index);
  }
  for (const auto& [key, combo] : std::initializer_list<std::pair<const char*, QComboBox*>>{
           {"defaultFormat", defaultFormatCombo_}, {"filter", filterCombo_}}) {
    const int index = combo->findText(values.value(QLatin1String(key)).toString());
    if (index >= 0) combo->setCurrentIndex(index);
  }
  if (values.contains(QStringLiteral("destination")))
    destinationEdit_->setText(values[QStringLiteral("destination")].toString());
  if (values.contains(QStringLiteral("additionText")))
    additionEdit_->setText(values[QStringLiteral("additionText")].toString());
  if (values.contains(QStringLiteral("percent"))) {
    if (values[QStringLiteral("percent")].toBool())
      percentButton_->setChecked(true);
    else
      pixelsButton_->setChecked(true);
  }
}

void MainWindow::restoreStartUpValues() {
  setOptionValues(startUpValues_);
  showFeedback(QStringLiteral("Start-up settings restored"));
}

void MainWindow::onSendToToggled() {
  if (sendToBox_->isChecked())
    CreateSendToLink(ToPath(QCoreApplication::applicationFilePath()));
  else
    DeleteSendToLink();
}

void MainWindow::onOpenDestinationClicked() {
  const QString folder = destinationEdit_->text();
  if (folder.isEmpty()) {
    showFeedback(QStringLiteral("No destination folder: outputs go beside their sources"));
    return;
  }
  openFolderOrSay(folder);
}

void MainWindow::openFolderOrSay(const QString& folder) {
  if (!QFileInfo(folder).isDir())
    showFeedback(QStringLiteral("The folder \"%1\" does not exist").arg(folder));
  else if (!openUrl(QUrl::fromLocalFile(folder)))
    showFeedback(QStringLiteral("Cannot open \"%1\": no file manager answered").arg(folder));
}

void MainWindow::onOpenOutputClicked() {
  QString folder = destinationEdit_->text();
  // Without a destination the outputs went beside their sources.
  if (folder.isEmpty() && sourceList_->count() > 0)
    folder = QFileInfo(sourceList_->item(0)->text()).absolutePath();
  openFolderOrSay(folder);
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
  // Set, not flipped: another window (or restored options) may have changed it meanwhile.
  SetSkinActive(this, useSkinBox_->isChecked());
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
