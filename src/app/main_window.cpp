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
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "app/application.h"
#include "app/controls.h"
#include "app/desktop_entry.h"
#include "app/dialog_fit.h"
#include "app/memory_usage.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/skin.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/thread.h"
#include "formats/picture.h"
#include "formats/format_registry.h"
#include "jobs/copy_job_thread.h"
#include "jobs/output_naming.h"
#include "jobs/source_scan.h"
#include "jobs/resize_job_thread.h"
#include "pixels/argb_image.h"

namespace tessane {

namespace {

// Paths are bytes; the controls hold text.
std::string ToPath(const QString& text) {
  return QFile::encodeName(text).toStdString();
}
QString FromPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

uint32_t SystemTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// "2.50" with the locale's decimal separator and no grouping.
QString FormatSeconds(double seconds) {
  QString text = QString::asprintf("%.2f", seconds);
  return text.replace(u'.', QLocale().decimalPoint());
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
// An entry handed over carries a number of its own, by which its job's outcome finds it again
// wherever it has moved in the meantime.
constexpr int kEntryIdRole = Qt::UserRole + 2;

void ClearMark(QListWidgetItem* item) {
  if (item->data(kEntryErrorRole).isNull()) return;
  item->setData(kEntryErrorRole, QVariant());
  item->setToolTip(QString());
  item->setData(Qt::ForegroundRole, QVariant());
  item->setIcon(QIcon());
}

QString ErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QStringLiteral("Unknown error");
}

// The preview's picture. Bitmap kinds show opaque, as their pixels are drawn; other graphics
// keep the transparency their drawing left.
QImage PictureToImage(Picture& picture) {
  ArgbImage bitmap;
  PictureToArgb(picture, bitmap);
  if (bitmap.IsEmpty()) return {};
  const bool opaque = picture.graphic() && picture.graphic()->InheritsFrom(DibImage::Class);
  QImage image(bitmap.Width(), bitmap.Height(),
               opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
  if (image.isNull()) return {};
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    std::memcpy(image.scanLine(y), bitmap.Row(y), static_cast<size_t>(bitmap.Width()) * 4);
  return image;
}

}  // namespace

MainWindow::MainWindow(const QStringList& paths, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      TickCount(SystemTickCount),
      ProcessMessages([] { QCoreApplication::processEvents(); }) {
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
  setFixedSize(Scaled(562), Scaled(483));
  CreateControls();
  ConnectHandlers();
  SetSkinActive(this, true);
  ApplyLayoutFont();
  FormCreate(paths);
}

MainWindow::~MainWindow() {
  if (Application* app = App()) app->ClearErrorHook(this);
}

int MainWindow::Scaled(int value) const {
  return static_cast<int>(std::lround(value * scale_));
}

void MainWindow::Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
}

void MainWindow::PlaceLabel(QLabel* label, int left, int top) {
  label->move(Scaled(left), Scaled(top));
  label->adjustSize();
}

// Labels size themselves to their text.
void MainWindow::SetLabelText(QLabel* label, const QString& text) {
  label->setText(text);
  label->adjustSize();
}

void MainWindow::ApplyLayoutFont() {
  // Removing a style sheet leaves the controls with the application's font instead of the
  // window's, so the window's font is given to each control again, whichever way the skin went.
  setFont(layoutFont_);
  for (QWidget* w : findChildren<QWidget*>())
    if (w->window() == this) w->setFont(layoutFont_);
  for (QLabel* label : findChildren<QLabel*>())
    if (label->window() == this) label->adjustSize();
  SnapListHeight();
}

// Whole rows only: the rows the laid-out height holds at 96 dpi, at the scaled row height, plus
// the frame the current style draws.
void MainWindow::SnapListHeight() {
  const int frame = ListBox1->frameWidth();
  const int rows = std::max(1, (147 - 2 * frame) / 13);
  ListBox1->resize(ListBox1->width(), rows * ListBox1->ItemHeight() + 2 * frame);
}

void MainWindow::CreateControls() {
  const auto check = [this](QWidget* parent, const char* name, const char* caption,
                            const char* hint, int l, int t, int w, int h, bool checked) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setStatusTip(QString::fromUtf8(hint));
    box->setChecked(checked);
    Place(box, l, t, w, h);
    return box;
  };
  const auto button = [this](const char* name, const char* caption, const char* hint, int l, int t,
                             int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromUtf8(name));
    b->setStatusTip(QString::fromUtf8(hint));
    b->setAutoDefault(false);
    Place(b, l, t, w, h);
    return b;
  };
  const auto label = [this](QWidget* parent, const char* name, const char* caption, int l, int t) {
    auto* lab = new QLabel(QString::fromUtf8(caption), parent);
    lab->setObjectName(QString::fromUtf8(name));
    PlaceLabel(lab, l, t);
    return lab;
  };

  Label3 = label(this, "Label3", "Files:", 11, 8);
  SendTo = check(this, "SendTo", "SendTo link", "Add/delete 'SendTo' link in context menu", 284, 5,
                 79, 17, false);
  CheckBox1 = check(this, "CheckBox1", "Stay on top", "Keep window on top", 378, 5, 75, 17, false);
  CheckBox2 = check(this, "CheckBox2", "Use skin", "", 472, 5, 73, 17, true);

  ListBox1 = new SourceListWidget(Scaled(13), this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setStatusTip(QStringLiteral("Source files - double click to view"));
  ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox1->setIconSize(QSize(Scaled(13) - 2, Scaled(13) - 2));
  Place(ListBox1, 8, 25, 542, 147);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  Place(ProgressBar1, 8, 179, 543, 11);

  Label1 = label(this, "Label1", "File activity: ", 10, 201);
  IncSubs = check(this, "IncSubs", "Inc sub folders",
                  "Include sub-folders when dropped or sent or source folder selected", 451, 200,
                  93, 17, true);
  Button7 =
      button("Button7", "Source folder", "Select all image files in a folder", 9, 222, 71, 25);
  Button1 = button("Button1", "Source files", "Select image files", 81, 222, 71, 25);
  Button6 = button("Button6", "Destination", "Select destination folder", 153, 222, 71, 25);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setStatusTip(QStringLiteral("Destination folder - will accept drag from explorer"));
  Place(Edit1, 227, 224, 321, 21);
  Button4 = button("Button4", "?", "Open destination folder", 532, 226, 16, 17);

  GroupBox2 = new QGroupBox(QStringLiteral("Fast File Copy"), this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  Place(GroupBox2, 8, 256, 545, 47);
  fastcopy = check(GroupBox2, "fastcopy", "",
                   "Copy source files to destination.  No change in size or format", 78, -2, 17, 17,
                   false);
  Label4 = label(GroupBox2, "Label4", "Buffer size (Kb)", 26, 19);
  Label4->setEnabled(false);
  Buff = new NumberBox(8, 512, 8, 64, GroupBox2);
  Buff->setObjectName(QStringLiteral("Buff"));
  Buff->setStatusTip(QStringLiteral("Set buffer size used in fast copying.  "));
  Buff->setEnabled(false);
  Place(Buff, 104, 14, 49, 22);
  Overwrite = check(GroupBox2, "Overwrite", "Overwrite",
                    "Overwrite files if they exist in destination, otherwise create .BAK file", 164,
                    17, 73, 17, false);
  Overwrite->setEnabled(false);
  CopyTimes = check(GroupBox2, "CopyTimes", "Copy file times",
                    "Copy file datetimes to destination file", 239, 17, 91, 17, false);
  CopyTimes->setEnabled(false);
  CopyAttrs = check(GroupBox2, "CopyAttrs", "Copy file attributes",
                    "Copy file attributes to destination file", 332, 17, 107, 17, false);
  CopyAttrs->setEnabled(false);

  CheckBox3 = check(this, "CheckBox3", "", "Show memory usage", 10, 311, 17, 17, false);
  WLabel = label(this, "WLabel", "Memory usage:", 38, 313);
  WLabel->setEnabled(false);
  PLabel = label(this, "PLabel", "Peak memory usage:", 177, 313);
  PLabel->setEnabled(false);
  Button2 = button("Button2", "START", "Process files", 350, 307, 51, 25);
  Button3 = button("Button3", "PAUSE", "Pause process", 405, 307, 75, 25);
  Button3->setEnabled(false);
  Button5 = button("Button5", "QUIT", "Quit process and reset counters", 484, 307, 51, 25);
  Button5->setEnabled(false);

  GroupBox1 = new QGroupBox(QStringLiteral("Resizing/reformatting"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setStatusTip(
      QStringLiteral("Options used for changing format and/or size.  Not used in Fast Copy"));
  Place(GroupBox1, 8, 335, 545, 124);
  Output = new RadioGroupBox(QStringLiteral("Output file format"),
                           {QStringLiteral("Source"), QStringLiteral(".jpg"),
                            QStringLiteral(".png"), QStringLiteral(".gif"), QStringLiteral(".emf"),
                            QStringLiteral(".bmp"), QStringLiteral(".jp2")},
                           2, 0, GroupBox1);
  Output->setObjectName(QStringLiteral("Output"));
  Output->setStatusTip(QStringLiteral("Keep format the same as source file or save as selected"));
  Place(Output, 9, 17, 125, 100);
  CropBox = check(GroupBox1, "CropBox", "16:9", "Output landscape images in 16:9 format", 74, 93,
                  45, 17, false);
  Addition =
      new RadioGroupBox(QStringLiteral("Filename addition"),
                      {QStringLiteral("Prefix"), QStringLiteral("Postfix"), QStringLiteral("None")},
                      1, 2, GroupBox1);
  Addition->setObjectName(QStringLiteral("Addition"));
  Addition->setStatusTip(QStringLiteral("File name addition"));
  Place(Addition, 138, 17, 126, 78);
  Thing = new QLineEdit(QStringLiteral("_t"), GroupBox1);
  Thing->setObjectName(QStringLiteral("Thing"));
  Thing->setStatusTip(QStringLiteral("Added text - must comply with rules for setting file names"));
  Place(Thing, 205, 51, 51, 21);
  Label5 = label(GroupBox1, "Label5", "Default format", 144, 100);
  DefaultFormat =
      new CompletingComboBox({QStringLiteral(".jpg"), QStringLiteral(".png"), QStringLiteral(".gif"),
                     QStringLiteral(".emf"), QStringLiteral(".bmp"), QStringLiteral(".jp2")},
                    GroupBox1);
  DefaultFormat->setObjectName(QStringLiteral("DefaultFormat"));
  DefaultFormat->setStatusTip(
      QStringLiteral("Default output format if Source selected and is not a handled format"));
  DefaultFormat->setCurrentIndex(0);
  Place(DefaultFormat, 215, 97, 49, 21);
  MaxSize = new RadioGroupBox(
      QStringLiteral("Max output size "),
      {QStringLiteral("Largest"), QStringLiteral("Width"), QStringLiteral("Height")}, 1, 0,
      GroupBox1);
  MaxSize->setObjectName(QStringLiteral("MaxSize"));
  MaxSize->setStatusTip(QStringLiteral("Max output size by dimension in pixels or %"));
  Place(MaxSize, 268, 17, 172, 78);
  DoPixs = new QRadioButton(QStringLiteral("Pixs"), GroupBox1);
  DoPixs->setObjectName(QStringLiteral("DoPixs"));
  DoPixs->setStatusTip(QStringLiteral("Sizing in pixels"));
  DoPixs->setChecked(true);
  Place(DoPixs, 337, 37, 37, 17);
  DoPer = new QRadioButton(QStringLiteral("%"), GroupBox1);
  DoPer->setObjectName(QStringLiteral("DoPer"));
  DoPer->setStatusTip(QStringLiteral("Output image size as % of original size"));
  Place(DoPer, 337, 63, 37, 17);
  SpinEdit1 = new NumberBox(32, 5000, 10, 320, GroupBox1);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setStatusTip(QStringLiteral("Maximum size of output image (32-5000 pixs)"));
  Place(SpinEdit1, 379, 34, 50, 22);
  SpinEdit2 = new NumberBox(1, 99, 10, 50, GroupBox1);
  SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
  SpinEdit2->setStatusTip(QStringLiteral("% of original size"));
  Place(SpinEdit2, 379, 61, 50, 22);
  Label2 = label(GroupBox1, "Label2", "Resampling filter", 453, 26);
  Filters =
      new CompletingComboBox({QStringLiteral("None"), QStringLiteral("Box"), QStringLiteral("Triangle"),
                     QStringLiteral("Hermite"), QStringLiteral("Bell"), QStringLiteral("BSpline"),
                     QStringLiteral("Lanczos3"), QStringLiteral("Mitchell ")},
                    GroupBox1);
  Filters->setObjectName(QStringLiteral("Filters"));
  Filters->setStatusTip(
      QStringLiteral("Filter used when resampling - None is faster and probably good enough"));
  // Lanczos3: the list position now selects the kernel its label names.
  Filters->setCurrentIndex(6);
  Place(Filters, 453, 43, 80, 21);
  ResOverWrite = check(GroupBox1, "ResOverWrite", "Overwrite",
                       "Overwrite files if they exist in destination", 453, 72, 73, 17, false);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  Place(StatusBar1, 0, 464, 562, 19);

  // Floats over the list, so it is made last.
  MovPanel1 = new FloatingPanel(this);
  MovPanel1->setObjectName(QStringLiteral("MovPanel1"));
  Place(MovPanel1, 424, 96, 89, 65);
  Image1 = new PreviewImage();
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setStatusTip(QStringLiteral("Double click to close"));
  MovPanel1->setContent(Image1);
  MovPanel1->hide();

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Selectall1 = PopupMenu1->addAction(QStringLiteral("Select all"));
  Selectall1->setObjectName(QStringLiteral("Selectall1"));
  Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
  Delete1->setObjectName(QStringLiteral("Delete1"));
  Paste1 = PopupMenu1->addAction(QStringLiteral("Paste"));
  Paste1->setObjectName(QStringLiteral("Paste1"));

  OD1 = new QFileDialog(this, QStringLiteral("Select image files"));
  OD1->setObjectName(QStringLiteral("OD1"));
  OD1->setFileMode(QFileDialog::ExistingFiles);
  OD1->setOption(QFileDialog::DontUseNativeDialog);
  OD1->setSizeGripEnabled(true);
  OD1->resize(Scaled(720), Scaled(460));
  SD1 = new FolderDialog(this);
  SD1->setObjectName(QStringLiteral("SD1"));

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);

  // Shell drops are the window's alone: no control takes them as text.
  for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);
}

void MainWindow::ConnectHandlers() {
  // Each handler's errors are caught right at the handler and go to the error hook: unwinding
  // through Qt's event delivery would leak what Qt holds on its stack.
  const auto guarded = [this](void (MainWindow::*handler)()) {
    return [this, handler] { GuardedCall([this, handler] { (this->*handler)(); }); };
  };
  connect(Button1, &QPushButton::clicked, this, guarded(&MainWindow::Button1Click));
  connect(Button7, &QPushButton::clicked, this, guarded(&MainWindow::Button7Click));
  connect(Button2, &QPushButton::clicked, this, guarded(&MainWindow::Button2Click));
  connect(Button3, &QPushButton::clicked, this, guarded(&MainWindow::Button3Click));
  connect(Button5, &QPushButton::clicked, this, guarded(&MainWindow::Button5Click));
  connect(Button4, &QPushButton::clicked, this, guarded(&MainWindow::Button4Click));
  connect(Button6, &QPushButton::clicked, this, guarded(&MainWindow::Button6Click));
  // Check boxes act on every change of state, also one made by the program.
  connect(SendTo, &QCheckBox::toggled, this, guarded(&MainWindow::SendToClick));
  connect(CheckBox1, &QCheckBox::toggled, this, guarded(&MainWindow::CheckBox1Click));
  connect(CheckBox2, &QCheckBox::toggled, this, guarded(&MainWindow::CheckBox2Click));
  connect(fastcopy, &QCheckBox::toggled, this, guarded(&MainWindow::fastcopyClick));
  connect(CheckBox3, &QCheckBox::toggled, this, guarded(&MainWindow::CheckBox3Click));
  connect(Timer1, &QTimer::timeout, this, guarded(&MainWindow::Timer1Timer));
  connect(Selectall1, &QAction::triggered, this, guarded(&MainWindow::Selectall1Click));
  connect(Delete1, &QAction::triggered, this, guarded(&MainWindow::Delete1Click));
  connect(Paste1, &QAction::triggered, this, guarded(&MainWindow::Paste1Click));
  connect(ListBox1, &SourceListWidget::DblClick, this, guarded(&MainWindow::ListBox1DblClick));
  connect(ListBox1, &SourceListWidget::KeyDown, this,
          [this](int key) { GuardedCall([this, key] { ListBox1KeyDown(key); }); });
  connect(ListBox1, &SourceListWidget::PasteKeyed, this, guarded(&MainWindow::Paste1Click));
  connect(ListBox1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(pos)); });
  connect(Image1, &PreviewImage::DblClick, this, guarded(&MainWindow::Image1DblClick));
  // A press on the picture is the panel's, in the picture's own coordinates.
  connect(Image1, &PreviewImage::MouseDown, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos,
                 QPoint globalPos) {
            GuardedCall([&] { MovPanel1->pressAt(button, modifiers, pos, globalPos); });
          });
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { GuardedCall([this] { UpdateHint(); }); });
}

void MainWindow::FormCreate(const QStringList& paths) {
  try {
    if (!paths.isEmpty()) {
      for (const QString& path : paths) AddPath(ToPath(path));
      UpdateFileCount();
    }
    setAcceptDrops(true);
    SendTo->setChecked(SendToLinkExists());
    if (Application* app = App())
      app->SetErrorHook(this, [this](const std::exception& error) { AppException(error); });
    // MovPanel1 needs nothing more: Qt paints every widget double-buffered.
  } catch (const std::exception& error) {
    // The hook is not installed yet: the message alone, no PAUSE.
    ShowErrorBox(QString::fromUtf8(error.what()));
  }
}

bool MainWindow::event(QEvent* event) {
  // Hints go to the status bar by UpdateHint only, never as Qt's own status tips.
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
  if (runDepth_ > 0) {
    // The outermost RunBatch closes the window when its files are done.
    closeRequested_ = true;
    Button5Click();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::UpdateHint() {
  const QString hint = HintAt(QCursor::pos());
  if (StatusBar1->currentMessage() != hint) StatusBar1->showMessage(hint);
}

QString MainWindow::HintAt(QPoint globalPos) const {
  QWidget* const under = QApplication::widgetAt(globalPos);
  // Over a failed entry the status bar tells why it failed.
  if (under && under == ListBox1->viewport()) {
    const QListWidgetItem* item = ListBox1->itemAt(under->mapFromGlobal(globalPos));
    if (item && !item->data(kEntryErrorRole).toString().isEmpty())
      return item->data(kEntryErrorRole).toString();
  }
  for (QWidget* w = under; w && w->window() == this; w = w->parentWidget())
    if (!w->statusTip().isEmpty()) return w->statusTip();
  return {};
}

void MainWindow::AppException(const std::exception& error) {
  const QString message = QString::fromUtf8(error.what());
  // PAUSE/CONTINUE is enabled exactly while a run exists; pressed while idle, a CONTINUE caption
  // would start a whole batch nobody asked for.
  if (Button3->isEnabled()) {
    try {
      Button3Click();
    } catch (const std::exception& nested) {
      ShowErrorBox(QString::fromUtf8(nested.what()));
    }
  }
  ShowErrorBox(message);
}

QString MainWindow::EntryError(int row) const {
  const QListWidgetItem* item = ListBox1->item(row);
  return item ? item->data(kEntryErrorRole).toString() : QString();
}

// ---- Source list

void MainWindow::AddPath(const std::string& path) {
  ::tessane::AddPath(path, IncSubs->isChecked(),
                     [this](const std::string& file) { ListBox1->addItem(FromPath(file)); });
}

void MainWindow::UpdateFileCount() {
  SetLabelText(Label3, QStringLiteral("Files: %1").arg(ListBox1->count()));
}

void MainWindow::Button1Click() {
  RegisterStandardFormats();
  OD1->setNameFilters(NameFilters(PictureFilter()));
  if (!lastFilter_.isEmpty()) OD1->selectNameFilter(lastFilter_);
  FitDialogToScreen(OD1);
  if (OD1->exec() == QDialog::Accepted) {
    lastFilter_ = OD1->selectedNameFilter();
    // The dialog's names skip the extension test.
    for (const QString& file : OD1->selectedFiles()) ListBox1->addItem(file);
  }
  UpdateFileCount();
}

void MainWindow::Button7Click() {
  struct CountOnExit {
    MainWindow* form;
    ~CountOnExit() { form->UpdateFileCount(); }
  } counter{this};
  if (SD1->Execute(QDir::currentPath())) AddPath(ToPath(SD1->Directory()));
}

void MainWindow::WMDropFiles(const QStringList& names, QPoint clientPos) {
  if (Edit1->geometry().contains(clientPos) && names.size() == 1) {
    if (IsFolder(ToPath(names[0]))) Edit1->setText(names[0]);
  } else if (ListBox1->geometry().contains(clientPos)) {
    for (auto it = names.crbegin(); it != names.crend(); ++it) AddPath(ToPath(*it));
  }
  UpdateFileCount();
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
  WMDropFiles(names, event->position().toPoint());
}

void MainWindow::Paste1Click() {
  struct CountOnExit {
    MainWindow* form;
    ~CountOnExit() { form->UpdateFileCount(); }
  } counter{this};
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasUrls()) return;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) AddPath(ToPath(url.toLocalFile()));
}

void MainWindow::Delete1Click() {
  for (int i = ListBox1->count() - 1; i >= 0; --i)
    if (ListBox1->item(i)->isSelected()) std::unique_ptr<QListWidgetItem>(ListBox1->takeItem(i));
  UpdateFileCount();
}

void MainWindow::Selectall1Click() {
  ListBox1->selectAll();
}

void MainWindow::ListBox1KeyDown(int key) {
  if (key == Qt::Key_Delete) Delete1Click();
  UpdateFileCount();
}

void MainWindow::ListBox1DblClick() {
  int index = ListBox1->currentRow();
  // The caret rests on the first entry until the user moves it.
  if (index < 0 && ListBox1->count() > 0) index = 0;
  if (index < 0 || index >= ListBox1->count())
    throw ListIndexError(Format("List index out of bounds (%d)", index));
  Picture picture;
  picture.LoadPicture(ToPath(ListBox1->item(index)->text()));
  Image1->SetPicture(PictureToImage(picture));
  MovPanel1->show();
  MovPanel1->raise();
}

void MainWindow::Image1DblClick() {
  MovPanel1->hide();
}

// ---- Batch run controller

void MainWindow::Button2Click() {
  if (ListBox1->count() == 0) return;
  if (Edit1->text().isEmpty()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("Destination will be source folder and files may be "
                                   "overwritten!  Continue?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setEscapeButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Ok) return;
  }
  if (!DestinationReady()) return;
  ClearEntryMarks();
  SetLabelText(Label1, QStringLiteral("File activity:"));
  ProgressBar1->setMaximum(ListBox1->count());
  ProgressBar1->setValue(ListBox1->count());
  Button3->setEnabled(true);
  Button5->setEnabled(true);
  Running = true;
  ResumeIndex = 0;
  RunBatch(0);
}

void MainWindow::Button3Click() {
  if (Button3->text() == QStringLiteral("CONTINUE")) {
    Running = true;
    Button3->setText(QStringLiteral("PAUSE"));
    RunBatch(ResumeIndex);
  } else {
    Running = false;
    Button3->setText(QStringLiteral("CONTINUE"));
  }
}

void MainWindow::Button5Click() {
  Running = false;
  ResumeIndex = 0;
  Button3->setText(QStringLiteral("PAUSE"));
  Button3->setEnabled(false);
  Button5->setEnabled(false);
}

// What became of the files one RunBatch call handed over.
struct MainWindow::RunTally {
  int handedOver = 0;
  int ended = 0;
  int failed = 0;
};

bool MainWindow::DestinationReady() {
  const std::string folder = ToPath(Edit1->text());
  if (folder.empty() || DirectoryExists(folder)) return true;
  if (!FolderDialog::ConfirmCreate(this)) return false;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  if (!DirectoryExists(folder)) throw FileSystemError("Unable to create directory");
  return true;
}

void MainWindow::RunBatch(int32_t startIndex) {
  struct Depth {
    MainWindow* form;
    explicit Depth(MainWindow* f) : form(f) { ++form->runDepth_; }
    ~Depth() {
      if (--form->runDepth_ == 0 && form->closeRequested_) {
        form->closeRequested_ = false;
        QTimer::singleShot(0, form, &QWidget::close);
      }
    }
  } depth(this);
  const auto tally = std::make_shared<RunTally>();
  const uint32_t startTick = TickCount();
  int32_t i = startIndex;
  const int32_t iterations = ListBox1->count() - startIndex;
  for (int32_t n = 0; n < iterations; ++n) {
    if (closeRequested_) break;
    ProgressBar1->setValue(std::max(ProgressBar1->minimum(), ProgressBar1->value() - 1));
    HandOver(i, tally);
    ++i;
    if (!Running) break;
    ProcessMessages();
  }
  ResumeIndex = i;
  // The activity line tells what became of this call's files, so it waits for their work.
  while (tally->ended < tally->handedOver)
    if (!CheckSynchronize()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  // Unsigned subtraction: right across the tick count's wrap at 2^32.
  const double seconds = static_cast<uint32_t>(TickCount() - startTick) / 1000.0;
  QString activity = QStringLiteral("File activity: %1/%2 files processed")
                         .arg(i - startIndex)
                         .arg(ListBox1->count());
  if (tally->failed > 0) activity += QStringLiteral(", %1 failed").arg(tally->failed);
  SetLabelText(Label1, activity + QStringLiteral(". Time: %1 secs").arg(FormatSeconds(seconds)));
  if (i == ListBox1->count()) {
    Button3->setText(QStringLiteral("PAUSE"));
    Button3->setEnabled(false);
    Button5->setEnabled(false);
    ResumeIndex = 0;
  }
}

void MainWindow::MarkEntry(int rowHint, quint64 entryId, const std::exception_ptr& error) {
  const auto isEntry = [entryId](const QListWidgetItem* item) {
    return item && item->data(kEntryIdRole).toULongLong() == entryId;
  };
  QListWidgetItem* item = ListBox1->item(rowHint);
  // Entries above it may have been deleted while the work waited, or the entry itself.
  for (int row = 0; !isEntry(item) && row < ListBox1->count(); ++row) item = ListBox1->item(row);
  if (!isEntry(item)) return;
  if (!error) {
    ClearMark(item);
    return;
  }
  const QString message = ErrorMessage(error);
  item->setData(kEntryErrorRole, message);
  item->setToolTip(message);
  item->setForeground(QColor(0xb0, 0x10, 0x20));
  item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
}

void MainWindow::ClearEntryMarks() {
  for (int row = 0; row < ListBox1->count(); ++row) ClearMark(ListBox1->item(row));
}

void MainWindow::HandOver(int32_t index, const std::shared_ptr<RunTally>& tally) {
  if (index < 0 || index >= ListBox1->count())
    throw ListIndexError(Format("List index out of bounds (%d)", index));
  QListWidgetItem* const item = ListBox1->item(index);
  const std::string source = ToPath(item->text());
  const std::string destFolder = ToPath(Edit1->text());
  if (item->data(kEntryIdRole).isNull()) item->setData(kEntryIdRole, ++lastEntryId_);
  // Runs on this thread once the job's work has run (or failed). The job deletes it on its own
  // thread, so it holds nothing that only this thread may touch.
  const auto ended = [self = QPointer<MainWindow>(this), index,
                      entryId = item->data(kEntryIdRole).toULongLong(),
                      tally](const std::exception_ptr& error) {
    ++tally->ended;
    if (error) ++tally->failed;
    try {
      if (self) self->MarkEntry(index, entryId, error);
    } catch (...) {
      // A mark that cannot be drawn must not turn the file's outcome into another one.
    }
  };

  if (fastcopy->isChecked()) {
    // Read past the box's range while it has the focus the value can overflow 32 bits.
    const int64_t buffer =
        std::clamp<int64_t>(int64_t{Buff->Value()} * 1024, std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<int32_t>::max());
    CopyJobThread* job = NewThread<CopyJobThread>(source, CopyOutputPath(source, destFolder),
                                          static_cast<int32_t>(buffer), Overwrite->isChecked());
    // Safe after the start: the copy runs only when this thread next processes messages.
    job->copy_attrs = CopyAttrs->isChecked();
    job->copy_times = CopyTimes->isChecked();
    job->OnWorkEnded = ended;
    ++tally->handedOver;
    return;
  }

  OutputNaming naming;
  naming.DestFolder = destFolder;
  naming.OutputIndex = Output->ItemIndex();
  naming.OutputExt = naming.OutputIndex > 0 ? ToPath(Output->ItemText(naming.OutputIndex)) : "";
  naming.DefaultFormat = ToPath(DefaultFormat->SelectedText());
  naming.Addition = Addition->ItemIndex();
  naming.Thing = ToPath(Thing->text());
  const bool percent = DoPer->isChecked();
  const auto sizeMode = static_cast<uint8_t>(percent ? kSizePercent : MaxSize->ItemIndex());
  // An emptied list reads -1, which reaches the job as 255.
  const auto filter = static_cast<uint8_t>(Filters->ItemIndex());
  const int32_t size = percent ? SpinEdit2->Value() : SpinEdit1->Value();
  ResizeJobThread* job =
      NewThread<ResizeJobThread>(source, ResizeOutputPath(source, naming), sizeMode, filter, size);
  job->crop = CropBox->isChecked();
  job->overwrite = ResOverWrite->isChecked();
  job->OnWorkEnded = ended;
  job->Start();
  ++tally->handedOver;
}

// ---- Window options

void MainWindow::SendToClick() {
  if (SendTo->isChecked())
    CreateSendToLink(ToPath(QCoreApplication::applicationFilePath()));
  else
    DeleteSendToLink();
}

void MainWindow::Button4Click() {
  if (!Edit1->text().isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(Edit1->text()));
}

void MainWindow::Button6Click() {
  if (SD1->Execute(QDir::currentPath())) Edit1->setText(SD1->Directory());
}

void MainWindow::CheckBox1Click() {
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, CheckBox1->isChecked());
  // Changing the flags hides the window.
  if (visible) show();
}

void MainWindow::CheckBox2Click() {
  SetSkinActive(this, !SkinActive());
  ApplyLayoutFont();
}

void MainWindow::fastcopyClick() {
  const bool copying = fastcopy->isChecked();
  GroupBox1->setEnabled(!copying);
  for (QWidget* control : std::initializer_list<QWidget*>{
           Output, CropBox, Addition, Thing, Label5, DefaultFormat, MaxSize, DoPixs, DoPer,
           SpinEdit1, SpinEdit2, Label2, Filters, ResOverWrite})
    control->setEnabled(!copying);
  for (QWidget* control :
       std::initializer_list<QWidget*>{Label4, Buff, Overwrite, CopyTimes, CopyAttrs})
    control->setEnabled(copying);
}

void MainWindow::CheckBox3Click() {
  if (CheckBox3->isChecked())
    Timer1->start();
  else
    Timer1->stop();
  WLabel->setEnabled(Timer1->isActive());
  PLabel->setEnabled(Timer1->isActive());
}

void MainWindow::Timer1Timer() {
  SetLabelText(WLabel,
               QString::fromStdString(Format("Memory usage: %.0fK", GetMemoryUsage() / 1024.0)));
  SetLabelText(PLabel, QString::fromStdString(
                           Format("Peak memory usage: %.0fK", GetPeakMemoryUsage() / 1024.0)));
}

}  // namespace tessane
