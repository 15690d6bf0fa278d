#include "app/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "app/app_test_support.h"
#include "app/application.h"
#include "app/batch_controller.h"
#include "app/controls.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/skin.h"
#include "support/test_support.h"

namespace tessane {
namespace {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<MainWindow>();
    ui_ = std::make_unique<test::WindowControls>(*form_);
  }

  int Scaled(int v) const { return static_cast<int>(std::lround(v * form_->logicalDpiX() / 96.0)); }
  template <class T = QWidget>
  T* Control(const char* name) const {
    return form_->findChild<T*>(QString::fromUtf8(name));
  }

  void ShowActive() {
    form_->show();
    QApplication::setActiveWindow(form_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  }

  std::unique_ptr<MainWindow> form_;
  std::unique_ptr<test::WindowControls> ui_;
};

// Caption or text of any control kind of the window.
QString TextOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) return s->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  return {};
}

enum Check { kNoCheck, kChecked, kUnchecked };

struct ControlRow {
  const char* name;
  const char* text;
  const char* hint;
  bool enabled;
  Check check;
};

TEST_F(FormTest, EveryControlStartsWithItsCaptionHintAndState) {
  const ControlRow rows[] = {
      {"Label3", "Files:", "", true, kNoCheck},
      {"SendTo", "Send&To link", "Add/delete 'SendTo' link in context menu", true, kUnchecked},
      {"CheckBox1", "Sta&y on top", "Keep window on top", true, kUnchecked},
      {"CheckBox2", "Use s&kin", "", true, kChecked},
      {"ListBox1", "", "Source files - double click to view", true, kNoCheck},
      {"MovPanel1", "", "", true, kNoCheck},
      {"ProgressBar1", "", "", true, kNoCheck},
      {"Label1", "File activity: ", "", true, kNoCheck},
      {"IncSubs", "Inc s&ub folders",
       "Include sub-folders when dropped or sent or source folder selected", true, kChecked},
      {"Button7", "Source f&older", "Select all image files in a folder", true, kNoCheck},
      {"Button1", "Source f&iles", "Select image files", true, kNoCheck},
      {"Button6", "D&estination", "Select destination folder", true, kNoCheck},
      {"Edit1", "", "Destination folder - will accept drag from explorer", true, kNoCheck},
      {"Button4", "?", "Open destination folder", true, kNoCheck},
      {"GroupBox2", "&Fast File Copy", "", true, kNoCheck},
      {"fastcopy", "", "Copy source files to destination.  No change in size or format", true,
       kUnchecked},
      {"Label4", "&Buffer size (Kb)", "", false, kNoCheck},
      {"Buff", "64", "Set buffer size used in fast copying.  ", false, kNoCheck},
      {"Overwrite", "O&verwrite",
       "Overwrite files if they exist in destination, otherwise create .BAK file", false,
       kUnchecked},
      {"CopyTimes", "Copy file ti&mes", "Copy file datetimes to destination file", false,
       kUnchecked},
      {"CopyAttrs", "Copy file &attributes", "Copy file attributes to destination file", false,
       kUnchecked},
      {"CheckBox3", "", "Show memory usage", true, kUnchecked},
      {"WLabel", "Memory usage:", "", false, kNoCheck},
      {"PLabel", "Peak memory usage:", "", false, kNoCheck},
      {"Button2", "&START", "Process files", true, kNoCheck},
      {"Button3", "&PAUSE", "Pause process", false, kNoCheck},
      {"Button5", "&QUIT", "Quit process and reset counters", false, kNoCheck},
      {"GroupBox1", "Resizing/reformatting",
       "Options used for changing format and/or size.  Not used in Fast Copy", true, kNoCheck},
      {"Output", "Output file fo&rmat", "Keep format the same as source file or save as selected",
       true, kNoCheck},
      {"CropBox", "16:&9", "Output landscape images in 16:9 format", true, kUnchecked},
      {"Addition", "Fi&lename addition", "File name addition", true, kNoCheck},
      {"Thing", "_t", "Added text - must comply with rules for setting file names", true, kNoCheck},
      {"Label5", "&Default format", "", true, kNoCheck},
      {"DefaultFormat", ".jpg",
       "Default output format if Source selected and is not a handled format", true, kNoCheck},
      {"MaxSize", "Max output si&ze ", "Max output size by dimension in pixels or %", true,
       kNoCheck},
      {"DoPixs", "Pi&xs", "Sizing in pixels", true, kChecked},
      {"DoPer", "%", "Output image size as % of original size", true, kUnchecked},
      {"SpinEdit1", "320", "Maximum size of output image (32-5000 pixs)", true, kNoCheck},
      {"SpinEdit2", "50", "% of original size", true, kNoCheck},
      {"Label2", "Resampli&ng filter", "", true, kNoCheck},
      {"Filters", "Lanczos3",
       "Filter used when resampling - None is faster and probably good enough", true, kNoCheck},
      {"ResOverWrite", "Over&write", "Overwrite files if they exist in destination", true,
       kUnchecked},
      {"StatusBar1", "", "", true, kNoCheck},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget* w = Control(row.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(TextOf(w), QString::fromUtf8(row.text));
    EXPECT_EQ(w->statusTip(), QString::fromUtf8(row.hint));
    EXPECT_EQ(w->isEnabled(), row.enabled);
    if (row.check != kNoCheck) {
      EXPECT_EQ(qobject_cast<QAbstractButton*>(w)->isChecked(), row.check == kChecked);
    }
  }

  EXPECT_EQ(form_->windowTitle(), "Tessane 5.5");
  EXPECT_EQ(form_->minimumSize(), QSize(Scaled(562), Scaled(483)));
  EXPECT_EQ(form_->maximumSize(), form_->minimumSize());
  EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form_->windowFlags() & Qt::WindowMinimizeButtonHint);

  EXPECT_FALSE(ui_->previewPanel->isVisibleTo(form_.get()));
  EXPECT_EQ(ui_->previewImage->statusTip(), "Double click to close");
  EXPECT_TRUE(ui_->previewImage->picture().isNull());
  EXPECT_EQ(ui_->sourceList->count(), 0);
  EXPECT_EQ(ui_->sourceList->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(ui_->progressBar->value(), 0);

  struct Items {
    RadioGroupBox* group;
    QStringList items;
    int index;
  };
  for (const auto& g :
       {Items{
            ui_->outputFormatGroup, {"Source", ".jpg", ".png", ".gif", ".emf", ".bmp", ".jp2"}, 0},
        Items{ui_->nameAdditionGroup, {"Prefix", "Postfix", "None"}, 2},
        Items{ui_->sizeModeGroup, {"Largest", "Width", "Height"}, 0}}) {
    SCOPED_TRACE(g.group->objectName().toStdString());
    QStringList texts;
    for (int i = 0; i < g.group->count(); ++i) texts << g.group->itemText(i);
    EXPECT_EQ(texts, g.items);
    EXPECT_EQ(g.group->itemIndex(), g.index);
  }
  // The 16:9 box sits in the empty fourth row of the second column (items are placed once
  // the group has its size, which a hidden window defers).
  form_->show();
  const QRect fourthRow = ui_->outputFormatGroup->button(3)->geometry().translated(
      ui_->outputFormatGroup->button(4)->x() - ui_->outputFormatGroup->button(0)->x(), 0);
  EXPECT_TRUE(
      fourthRow.translated(ui_->outputFormatGroup->pos()).intersects(ui_->cropBox->geometry()));

  QStringList filters;
  for (int i = 0; i < ui_->filterCombo->count(); ++i) filters << ui_->filterCombo->itemText(i);
  EXPECT_EQ(filters, QStringList({"None", "Box", "Triangle", "Hermite", "Bell", "BSpline",
                                  "Lanczos3", "Mitchell "}));
  EXPECT_EQ(ui_->filterCombo->itemIndex(), 6);
  QStringList formats;
  for (int i = 0; i < ui_->defaultFormatCombo->count(); ++i)
    formats << ui_->defaultFormatCombo->itemText(i);
  EXPECT_EQ(formats, QStringList({".jpg", ".png", ".gif", ".emf", ".bmp", ".jp2"}));
  EXPECT_EQ(ui_->defaultFormatCombo->itemIndex(), 0);

  struct Range {
    NumberBox* box;
    int min, max, step;
  };
  for (const auto& r :
       {Range{ui_->bufferSizeBox, 8, 512, 8}, Range{ui_->sizePixelsBox, 32, 5000, 10},
        Range{ui_->sizePercentBox, 1, 99, 10}}) {
    EXPECT_EQ(r.box->minValue(), r.min);
    EXPECT_EQ(r.box->maxValue(), r.max);
    EXPECT_EQ(r.box->increment(), r.step);
  }

  QStringList menu;
  for (QAction* a : ui_->listMenu->actions()) menu << a->text();
  EXPECT_EQ(menu, QStringList({"Select all", "Delete", "Paste", "", "&Restore start-up settings"}));
  EXPECT_EQ(ui_->fileDialog->windowTitle(), "Select image files");
  EXPECT_EQ(ui_->fileDialog->fileMode(), QFileDialog::ExistingFiles);
  EXPECT_EQ(ui_->folderDialog->windowTitle(), "Select Directory");
  EXPECT_EQ(ui_->memoryTimer->interval(), 1000);
  EXPECT_FALSE(ui_->memoryTimer->isActive());
  EXPECT_TRUE(SkinActive());
  EXPECT_FALSE(form_->batch().running());
  EXPECT_EQ(form_->batch().resumeIndex(), 0);
}

// Leaves the box as the focus does: only then is the text corrected.
void LoseFocus(QWidget* box) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(box, &out);
}

void SetText(NumberBox* box, const QString& text) {
  box->findChild<QLineEdit*>()->setText(text);
}

TEST_F(FormTest, NumberBoxesCorrectTheirTextOnlyWhenTheFocusLeaves) {
  struct Case {
    NumberBox* box;
    const char* text;
    int focusedValue;
    const char* textAfter;
    int valueAfter;
  };
  const Case cases[] = {
      {ui_->sizePercentBox, "4000", 4000, "99", 99},
      {ui_->sizePercentBox, "0", 0, "1", 1},
      {ui_->sizePercentBox, "-", 1, "-", 1},
      {ui_->sizePercentBox, "", 1, "", 1},
      {ui_->sizePixelsBox, "12a", 32, "12a", 32},
      {ui_->sizePixelsBox, "+4999", 4999, "+4999", 4999},
      {ui_->bufferSizeBox, "99999999999", 8, "99999999999", 8},  // beyond int: not an integer
      {ui_->bufferSizeBox, "600", 600, "512", 512},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetText(c.box, c.text);
    EXPECT_EQ(c.box->value(), c.focusedValue);
    LoseFocus(c.box);
    EXPECT_EQ(c.box->text(), c.textAfter);
    EXPECT_EQ(c.box->value(), c.valueAfter);
  }
}

TEST_F(FormTest, NumberBoxesFilterKeysAndStepWithinTheRange) {
  NumberBox* box = ui_->sizePercentBox;
  QLocale::setDefault(QLocale::c());
  SetText(box, "");
  QSignalSpy finished(box, &QAbstractSpinBox::editingFinished);
  QTest::keyClicks(box, "1a-+.,b2");
  EXPECT_EQ(box->text(), "1-+.2");
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(box->text(), "1-+.2");
  EXPECT_EQ(finished.count(), 0);

  struct Step {
    const char* text;
    Qt::Key key;
    const char* after;
  };
  for (const auto& s : {Step{"95", Qt::Key_Up, "99"}, Step{"4000", Qt::Key_Down, "99"},
                        Step{"-", Qt::Key_Up, "11"}, Step{"5", Qt::Key_Down, "1"}}) {
    SCOPED_TRACE(s.text);
    SetText(box, s.text);
    QTest::keyClick(box, s.key);
    EXPECT_EQ(box->text(), s.after);
  }
}

TEST_F(FormTest, DropDownsCompleteKeysTypedWhileTheyHaveTheFocus) {
  ShowActive();
  struct Case {
    CompletingComboBox* box;
    const char* typed;
    int index;
    const char* text;
  };
  const Case cases[] = {
      {ui_->filterCombo, "m", 7, "Mitchell "},    {ui_->filterCombo, "bs", 5, "BSpline"},
      {ui_->filterCombo, "q", -1, "q"},           {ui_->defaultFormatCombo, ".p", 1, ".png"},
      {ui_->defaultFormatCombo, ".J", 0, ".jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    // Clicked, then typed: the keys go wherever the focus is, as a keyboard's do.
    QTest::mouseClick(c.box->lineEdit(), Qt::LeftButton);
    QWidget* const focus = nullptr;  // QTest then sends to the focus widget
    QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(focus, Qt::Key_Backspace);
    QTest::keyClicks(focus, QString::fromUtf8(c.typed));
    EXPECT_EQ(c.box->itemIndex(), c.index);
    EXPECT_EQ(c.box->lineEdit()->text(), c.text);
  }
}

TEST_F(FormTest, DropDownsCompleteTypedTextAndReadMinusOneWhenEmptied) {
  struct Case {
    CompletingComboBox* box;
    const char* typed;
    int index;
    const char* text;
  };
  const Case cases[] = {
      {ui_->filterCombo, "la", 6, "Lanczos3"}, {ui_->filterCombo, "MI", 7, "Mitchell "},
      {ui_->filterCombo, "b", 1, "Box"},       {ui_->filterCombo, "bs", 5, "BSpline"},
      {ui_->filterCombo, "x", -1, "x"},        {ui_->defaultFormatCombo, ".p", 1, ".png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    QLineEdit* edit = c.box->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(c.box->itemIndex(), c.index);
    EXPECT_EQ(edit->text(), c.text);
  }
  QLineEdit* edit = ui_->defaultFormatCombo->lineEdit();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(ui_->defaultFormatCombo->itemIndex(), -1);
  EXPECT_EQ(ui_->defaultFormatCombo->selectedText(), "");
}

TEST_F(FormTest, FastCopyEnablesExactlyItsOwnOptions) {
  const std::vector<QWidget*> resizing = {
      ui_->resizeGroup,        ui_->outputFormatGroup, ui_->cropBox,
      ui_->nameAdditionGroup,  ui_->additionEdit,      ui_->defaultFormatLabel,
      ui_->defaultFormatCombo, ui_->sizeModeGroup,     ui_->pixelsButton,
      ui_->percentButton,      ui_->sizePixelsBox,     ui_->sizePercentBox,
      ui_->filterLabel,        ui_->filterCombo,       ui_->resizeOverwriteBox};
  const std::vector<QWidget*> copying = {ui_->bufferSizeLabel, ui_->bufferSizeBox,
                                         ui_->copyOverwriteBox, ui_->copyTimesBox,
                                         ui_->copyAttributesBox};
  ui_->cropBox->setChecked(true);
  for (bool on : {true, false, true}) {
    SCOPED_TRACE(on ? "fast copy on" : "fast copy off");
    ui_->fastCopyBox->setChecked(on);
    for (QWidget* w : resizing) EXPECT_EQ(w->isEnabled(), !on) << w->objectName().toStdString();
    for (QWidget* w : copying) EXPECT_EQ(w->isEnabled(), on) << w->objectName().toStdString();
    EXPECT_TRUE(ui_->includeSubfoldersBox->isEnabled());
    EXPECT_TRUE(ui_->startButton->isEnabled());
  }
  EXPECT_TRUE(ui_->cropBox->isChecked());  // marks and values are left as they are
}

TEST_F(FormTest, StatusBarShowsTheNearestHint) {
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  const auto at = [&](QWidget* w) {
    return form_->hintAt(w->mapToGlobal(QPoint(w->width() / 2, w->height() / 2)));
  };
  EXPECT_EQ(at(ui_->startButton), "Process files");
  EXPECT_EQ(at(ui_->defaultFormatLabel), ui_->resizeGroup->statusTip());  // label without a hint
  EXPECT_EQ(at(ui_->sizeModeGroup->button(1)), ui_->sizeModeGroup->statusTip());  // an item
  EXPECT_EQ(at(ui_->fileCountLabel), "");  // nothing around it
  EXPECT_EQ(at(ui_->sourceList->viewport()), "Source files - double click to view");

  QCursor::setPos(ui_->quitButton->mapToGlobal(QPoint(5, 5)));
  form_->updateHint();
  EXPECT_EQ(ui_->statusBar->currentMessage(), "Quit process and reset counters");
}

// What the user set comes back at the next start; the first start and the menu's restore give
// the start-up values.
TEST_F(FormTest, OptionsComeBackAtTheNextStartAndTheMenuRestoresTheStartUpValues) {
  const QVariantMap startUp = form_->optionValues();
  {
    MainWindow first({}, MainWindow::Settings::kRemembered);
    EXPECT_EQ(first.optionValues(), startUp);
    test::WindowControls ui(first);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    QTest::keyClicks(ui.destinationEdit, "/tmp/outputs");
    QTest::mouseClick(ui.percentButton, Qt::LeftButton);
    QTest::mouseClick(ui.resizeOverwriteBox, Qt::LeftButton);
    QTest::mouseClick(ui.useSkinBox, Qt::LeftButton);
    // On the mark: a radio item is wider than what it draws.
    QTest::mouseClick(ui.outputFormatGroup->button(2), Qt::LeftButton, {}, QPoint(6, 8));  // .png
    QTest::mouseClick(ui.sizeModeGroup->button(1), Qt::LeftButton, {}, QPoint(6, 8));      // Width
    ASSERT_EQ(first.optionValues().value("sizeMode"), 1);
    ui.filterCombo->setCurrentIndex(1);
    ui.sizePixelsBox->setValue(1024);
    ASSERT_FALSE(SkinActive());
    first.close();
  }
  MainWindow second({}, MainWindow::Settings::kRemembered);
  test::WindowControls ui(second);
  EXPECT_EQ(ui.destinationEdit->text(), "/tmp/outputs");
  EXPECT_TRUE(ui.percentButton->isChecked());
  EXPECT_TRUE(ui.resizeOverwriteBox->isChecked());
  EXPECT_FALSE(ui.useSkinBox->isChecked());
  EXPECT_FALSE(SkinActive());
  EXPECT_EQ(ui.outputFormatGroup->itemIndex(), 2);
  EXPECT_EQ(ui.sizeModeGroup->itemIndex(), 1);
  EXPECT_EQ(ui.filterCombo->currentText(), "Box");
  EXPECT_EQ(ui.sizePixelsBox->value(), 1024);
  // A window that does not remember (as every other test's) still starts as always.
  EXPECT_EQ(MainWindow().optionValues(), startUp);

  QAction* restore = second.findChild<QAction*>("RestoreSettings");
  ASSERT_NE(restore, nullptr);
  restore->trigger();
  EXPECT_EQ(second.optionValues(), startUp);
  EXPECT_TRUE(SkinActive());
  second.close();  // and the start-up values are what the next start finds
  EXPECT_EQ(MainWindow({}, MainWindow::Settings::kRemembered).optionValues(), startUp);
}

// Alt+letter reaches every labelled field, and Tab walks the window in its visual order.
TEST_F(FormTest, MnemonicsReachTheFieldsAndTabFollowsTheLayout) {
  ShowActive();
  struct Case {
    Qt::Key key;
    QWidget* focused;
  };
  for (const Case& c :
       {Case{Qt::Key_D, ui_->defaultFormatCombo}, Case{Qt::Key_N, ui_->filterCombo}}) {
    QTest::keyClick(form_.get(), c.key, Qt::AltModifier);
    EXPECT_TRUE(c.focused->hasFocus()) << c.focused->objectName().toStdString();
  }
  QTest::keyClick(form_.get(), Qt::Key_9, Qt::AltModifier);  // a box is clicked, animated
  EXPECT_TRUE(test::ProcessUntil([this] { return ui_->cropBox->isChecked(); }));

  ui_->sendToBox->setFocus();
  QStringList visited;
  QWidget* previous = nullptr;
  for (int i = 0; i < 80; ++i) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus == previous) break;
    previous = focus;
    // Radio items and inner editors stand for their control.
    QWidget* w = focus;
    while ((w->objectName().isEmpty() || w->objectName().startsWith("qt_")) && w->parentWidget())
      w = w->parentWidget();
    if (visited.isEmpty() || visited.last() != w->objectName()) visited << w->objectName();
    QTest::keyClick(focus, Qt::Key_Tab);
    if (QApplication::focusWidget() == ui_->sendToBox) break;
  }
  const QStringList layoutOrder = {"SendTo",   "CheckBox1", "CheckBox2", "ListBox1", "IncSubs",
                                   "Button7",  "Button1",   "Button6",   "Edit1",    "Button4",
                                   "fastcopy", "CheckBox3", "Button2"};
  ASSERT_GE(visited.size(), layoutOrder.size());
  EXPECT_EQ(visited.mid(0, layoutOrder.size()), layoutOrder);
  // Then the resize group, first column first: the output format comes before "16:9".
  const qsizetype crop = visited.indexOf("CropBox");
  const qsizetype output = visited.indexOf("Output");
  EXPECT_GT(crop, visited.indexOf("Button2"));
  EXPECT_TRUE(output < 0 || output < crop);
  EXPECT_LT(crop, visited.indexOf("Thing"));
  EXPECT_LT(visited.indexOf("Thing"), visited.indexOf("SpinEdit1"));
  EXPECT_LT(visited.indexOf("SpinEdit1"), visited.indexOf("Filters"));
  EXPECT_EQ(visited.last(), "ResOverWrite");
}

// "?" that cannot open the folder says why in the status bar instead of doing nothing.
TEST_F(FormTest, OpenDestinationThatFailsSaysSo) {
  test::TempDir dir;
  QList<QUrl> opened;
  bool answers = false;
  form_->openUrl = [&](const QUrl& url) {
    opened << url;
    return answers;
  };
  QTest::mouseClick(ui_->openDestinationButton, Qt::LeftButton);
  EXPECT_EQ(form_->feedback(), "No destination folder: outputs go beside their sources");
  ui_->destinationEdit->setText(QString::fromStdString(dir.File("missing")));
  QTest::mouseClick(ui_->openDestinationButton, Qt::LeftButton);
  EXPECT_EQ(form_->feedback(),
            QString::fromStdString("The folder \"" + dir.File("missing") + "\" does not exist"));
  ui_->destinationEdit->setText(QString::fromStdString(dir.Path()));
  QTest::mouseClick(ui_->openDestinationButton, Qt::LeftButton);
  EXPECT_EQ(form_->feedback(),
            QString::fromStdString("Cannot open \"" + dir.Path() + "\": no file manager answered"));
  EXPECT_EQ(ui_->statusBar->currentMessage(), form_->feedback());
  EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(dir.Path()))});
}

TEST_F(FormTest, MemoryDisplayFollowsItsCheckBox) {
  ui_->memoryUsageBox->setChecked(true);
  EXPECT_TRUE(ui_->memoryTimer->isActive());
  EXPECT_TRUE(ui_->memoryLabel->isEnabled());
  EXPECT_TRUE(ui_->peakMemoryLabel->isEnabled());
  form_->updateMemoryLabels();
  EXPECT_TRUE(
      QRegularExpression("^Memory usage: [1-9][0-9]*K$").match(ui_->memoryLabel->text()).hasMatch())
      << ui_->memoryLabel->text().toStdString();
  EXPECT_TRUE(QRegularExpression("^Peak memory usage: [1-9][0-9]*K$")
                  .match(ui_->peakMemoryLabel->text())
                  .hasMatch());
  ui_->memoryUsageBox->setChecked(false);
  EXPECT_FALSE(ui_->memoryTimer->isActive());
  EXPECT_FALSE(ui_->memoryLabel->isEnabled());
  EXPECT_TRUE(ui_->memoryLabel->text().startsWith("Memory usage: "));  // keeps its last text
}

TEST_F(FormTest, UseSkinFlipsTheSkinAndStayOnTopSetsTheHint) {
  ui_->useSkinBox->setChecked(false);
  EXPECT_FALSE(SkinActive());
  ui_->useSkinBox->setChecked(true);
  EXPECT_TRUE(SkinActive());
  ui_->stayOnTopBox->setChecked(true);
  EXPECT_TRUE(form_->windowFlags() & Qt::WindowStaysOnTopHint);
  ui_->stayOnTopBox->setChecked(false);
  EXPECT_FALSE(form_->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(FormTest, ErrorHookShowsTheMessageAndLeavesAnIdleWindowAlone) {
  test::ModalWatcher watcher;
  // Through real event delivery: a failing handler reaches the hook.
  QTest::mouseDClick(ui_->sourceList->viewport(), Qt::LeftButton);
  QTest::mouseDClick(ui_->sourceList->viewport(), Qt::LeftButton);
  ASSERT_EQ(watcher.SeenWindows().size(), 2u);
  EXPECT_EQ(watcher.SeenWindows()[0].title, "Tessane");
  EXPECT_EQ(watcher.SeenWindows()[0].text, "List index out of bounds (-1)");
  EXPECT_EQ(ui_->pauseButton->text(), "&PAUSE");
  EXPECT_FALSE(ui_->pauseButton->isEnabled());
  EXPECT_FALSE(form_->batch().running());
}

// Where a captioned control draws its caption, in the window's coordinates; empty for controls
// without one.
// A caption as drawn: a mnemonic's "&" is not shown ("&&" shows one).
QString Shown(QString text) {
  return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
      .remove(u'&')
      .replace(u'\x01', u'&');
}

QRect CaptionRect(QWidget* w) {
  QStyleOptionButton option;
  option.initFrom(w);
  QStyle::SubElement contents;
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    option.text = b->text();
    contents = QStyle::SE_PushButtonContents;
  } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
    option.text = c->text();
    contents = QStyle::SE_CheckBoxContents;
  } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
    option.text = r->text();
    contents = QStyle::SE_RadioButtonContents;
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    const QRect text(QPoint(),
                     QSize(l->fontMetrics().horizontalAdvance(Shown(l->text())), l->height()));
    return l->text().isEmpty() ? QRect() : text.translated(l->mapTo(w->window(), QPoint()));
  } else {
    return {};
  }
  if (option.text.isEmpty()) return {};
  const QRect area = w->style()->subElementRect(contents, &option, w);
  QRect text = area;
  text.setWidth(w->fontMetrics().horizontalAdvance(Shown(option.text)));
  if (contents == QStyle::SE_PushButtonContents) text.moveCenter(area.center());
  return text.translated(w->mapTo(w->window(), QPoint()));
}

// What a control draws: a check box or radio button its mark and caption, a label its text,
// anything else its whole rectangle (window coordinates).
QRect DrawnRect(QWidget* w) {
  const QRect bounds(w->mapTo(w->window(), QPoint()), w->size());
  QStyleOptionButton option;
  option.initFrom(w);
  QStyle::SubElement mark;
  if (qobject_cast<QCheckBox*>(w))
    mark = QStyle::SE_CheckBoxIndicator;
  else if (qobject_cast<QRadioButton*>(w))
    mark = QStyle::SE_RadioButtonIndicator;
  else if (qobject_cast<QLabel*>(w))
    return CaptionRect(w);
  else
    return bounds;
  const QRect indicator = w->style()->subElementRect(mark, &option, w).translated(bounds.topLeft());
  return indicator.united(CaptionRect(w));
}

// The controls the window shows (the parts inside a drop-down or number box are theirs).
QList<QWidget*> VisibleControls(MainWindow& form) {
  QList<QWidget*> controls;
  for (QWidget* w : form.findChildren<QWidget*>())
    if (w->window() == &form && w->isVisibleTo(&form) &&
        (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
         qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
         qobject_cast<QComboBox*>(w) || qobject_cast<QListWidget*>(w) ||
         qobject_cast<QProgressBar*>(w)) &&
        !qobject_cast<QComboBox*>(w->parentWidget()) &&
        !qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
      controls << w;
  return controls;
}

std::string NameOf(QWidget* w) {
  return w->objectName().isEmpty() ? TextOf(w).toStdString() : w->objectName().toStdString();
}

// Where a group box draws its caption, in its own coordinates.
QRect GroupCaptionRect(QGroupBox* box) {
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.textAlignment = box->alignment();
  option.lineWidth = 1;
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  return box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
}

// What each control and group draws lies inside the window and inside every group around it.
void ExpectEveryControlInside(MainWindow& form) {
  QList<QWidget*> controls = VisibleControls(form);
  for (QGroupBox* group : form.findChildren<QGroupBox*>())
    if (group->isVisibleTo(&form)) controls << group;
  const auto bounds = [&form](QWidget* w) { return QRect(w->mapTo(&form, QPoint()), w->size()); };
  for (QWidget* w : controls) {
    SCOPED_TRACE(NameOf(w));
    const QRect drawn = DrawnRect(w);
    if (drawn.isEmpty()) continue;
    EXPECT_TRUE(form.rect().contains(drawn)) << "outside the window";
    for (QWidget* group = w->parentWidget(); group && group != &form; group = group->parentWidget())
      if (auto* box = qobject_cast<QGroupBox*>(group)) {
        const QRect frame = bounds(box);
        if (w->parentWidget() == box && w->y() < 0) {
          // A switch on the group's caption line (fast copy's): within the group's width and
          // clear of its caption.
          EXPECT_GE(drawn.left(), frame.left());
          EXPECT_LE(drawn.right(), frame.right());
          EXPECT_FALSE(drawn.intersects(GroupCaptionRect(box).translated(frame.topLeft())))
              << "over the caption of " << box->objectName().toStdString();
        } else {
          EXPECT_TRUE(frame.contains(drawn)) << "outside " << box->objectName().toStdString();
        }
      }
  }
}

// Each caption lies within its control and clear of what every other control draws (a control
// laid on another, like "?" on the destination field, counts as part of it).
void ExpectEveryCaptionFits(MainWindow& form) {
  const QList<QWidget*> controls = VisibleControls(form);
  const auto bounds = [&form](QWidget* w) { return QRect(w->mapTo(&form, QPoint()), w->size()); };
  for (QWidget* w : controls) {
    const QRect caption = CaptionRect(w);
    if (caption.isEmpty()) continue;
    SCOPED_TRACE(NameOf(w));
    EXPECT_TRUE(bounds(w).contains(caption)) << "caption cut";
    for (QWidget* other : controls)
      if (other != w && !w->isAncestorOf(other) && !other->isAncestorOf(w) &&
          !bounds(other).contains(bounds(w))) {
        EXPECT_FALSE(caption.intersects(DrawnRect(other)))
            << "runs into " << other->objectName().toStdString();
      }
  }
}

// The list shows whole rows only.
void ExpectWholeListRows(MainWindow& form) {
  const test::WindowControls ui(form);
  const int rows = ui.sourceList->height() - 2 * ui.sourceList->frameWidth();
  EXPECT_EQ(rows % ui.sourceList->itemHeight(), 0) << ui.sourceList->height();
  EXPECT_GE(rows / ui.sourceList->itemHeight(), 10);
}

// The layout's promise, whatever the screen's density (the suite also runs at 144 dpi): each
// control whole inside the window and its group, each caption whole and clear of the others.
TEST_F(FormTest, EveryControlFitsTheWindowAndItsGroup) {
  ShowActive();
  EXPECT_EQ(form_->size(), QSize(Scaled(562), Scaled(483)));
  ExpectEveryControlInside(*form_);
  ExpectEveryCaptionFits(*form_);
  ExpectWholeListRows(*form_);
  // The preview panel floats over the list when shown.
  ui_->previewPanel->show();
  const QRect list(ui_->sourceList->pos(), ui_->sourceList->size());
  EXPECT_TRUE(list.contains(ui_->previewPanel->geometry()));
}

TEST_F(FormTest, UseSkinOffKeepsEveryCaptionAndOnAgainRestoresTheWindow) {
  ShowActive();
  const QImage skinned = form_->grab().toImage();
  ExpectEveryCaptionFits(*form_);
  ExpectWholeListRows(*form_);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    QTest::mouseClick(ui_->useSkinBox, Qt::LeftButton);
    ASSERT_FALSE(SkinActive());
    EXPECT_EQ(ui_->startButton->font(), form_->font());
    ExpectEveryControlInside(*form_);
    ExpectEveryCaptionFits(*form_);
    ExpectWholeListRows(*form_);
    QTest::mouseClick(ui_->useSkinBox, Qt::LeftButton);
    ASSERT_TRUE(SkinActive());
    ui_->useSkinBox->clearFocus();
    EXPECT_TRUE(form_->grab().toImage() == skinned) << "the skinned window differs";
  }
}

TEST_F(FormTest, WindowHasTheProgramsIcon) {
  const QIcon icon = form_->windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_FALSE(icon.pixmap(32, 32).isNull());
}

TEST_F(FormTest, FileDialogsOpenWithinTheScreenAndCanBeResized) {
  ShowActive();
  const QRect area = form_->screen()->availableGeometry();
  struct Seen {
    QRect geometry;
    QSize minimum, maximum;
  };
  std::vector<Seen> seen;
  const auto look = [&seen](QWidget* dialog) {
    seen.push_back({dialog->frameGeometry(), dialog->minimumSize(), dialog->maximumSize()});
    qobject_cast<QDialog*>(dialog)->reject();
  };
  test::ModalWatcher watcher;
  watcher.Then(look);
  QTest::mouseClick(ui_->sourceFilesButton, Qt::LeftButton);  // "Select image files"
  watcher.Then(look);
  QTest::mouseClick(ui_->destinationButton, Qt::LeftButton);  // the folder chooser
  ASSERT_EQ(seen.size(), 2u);
  for (const Seen& s : seen) {
    SCOPED_TRACE(s.geometry.width());
    EXPECT_TRUE(area.contains(s.geometry)) << s.geometry.x() << "," << s.geometry.y() << " "
                                           << s.geometry.width() << "x" << s.geometry.height();
    EXPECT_LE(s.minimum.width(), area.width());
    EXPECT_LT(s.minimum.width(), s.maximum.width());
    EXPECT_LT(s.minimum.height(), s.maximum.height());
  }
}

TEST(ErrorBoxText, AddsAFullStopAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorBoxText("Unable to create directory"), "Unable to create directory.");
  EXPECT_EQ(ErrorBoxText("List index out of bounds (3)"), "List index out of bounds (3)");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Done!"), "Done!");
  EXPECT_EQ(ErrorBoxText("path/"), "path/.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

}  // namespace
}  // namespace tessane
