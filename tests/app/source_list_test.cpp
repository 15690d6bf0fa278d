#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/app_test_support.h"
#include "app/controls.h"
#include "app/floating_panel.h"
#include "app/folder_dialog.h"
#include "app/main_window.h"
#include "support/test_support.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;

class SourceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<MainWindow>();
    ui_ = std::make_unique<test::WindowControls>(*form_);
    for (const char* name : {"a.jpg", "b.png", "c.gif"}) Touch(dir_.File(name));
  }

  static void Touch(const std::string& path) { test::WriteBytes(path, {0}); }
  QString Q(const std::string& s) const { return QString::fromStdString(s); }

  QStringList Entries() const {
    QStringList out;
    for (int i = 0; i < ui_->sourceList->count(); ++i) out << ui_->sourceList->item(i)->text();
    return out;
  }
  QStringList Paths(std::initializer_list<const char*> names) const {
    QStringList out;
    for (const char* n : names) out << Q(dir_.File(n));
    return out;
  }
  static std::unique_ptr<QMimeData> UrlData(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
  }
  // A shell drop of `paths` at the centre of `target` (a control of the window).
  void DropOn(QWidget* target, const QStringList& paths, QPoint offset = {}) {
    const auto data = UrlData(paths);
    const QPoint at = target->mapTo(form_.get(), target->rect().center() + offset);
    // As the shell's drag does: the window must take the drag before it gets the drop.
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
  }
  QString Counter() const { return ui_->fileCountLabel->text(); }

  test::TempDir dir_;
  std::unique_ptr<MainWindow> form_;
  std::unique_ptr<test::WindowControls> ui_;
};

TEST_F(SourceListTest, DropsAddInReverseAndPasteInShellOrder) {
  const QStringList three = Paths({"a.jpg", "b.png", "c.gif"});
  DropOn(ui_->sourceList, three);
  EXPECT_EQ(Entries(), Paths({"c.gif", "b.png", "a.jpg"}));
  EXPECT_EQ(Counter(), "Files: 3");

  ui_->sourceList->clear();
  QGuiApplication::clipboard()->setMimeData(UrlData(three).release());
  ui_->pasteAction->trigger();
  EXPECT_EQ(Entries(), three);
  EXPECT_EQ(Counter(), "Files: 3");

  // Ctrl+V in the list pastes the same way.
  ui_->sourceList->clear();
  QTest::mouseClick(ui_->sourceList->viewport(), Qt::LeftButton);
  QTest::keyClick(ui_->sourceList, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Entries(), three);
  EXPECT_EQ(Counter(), "Files: 3");

  // Refused names drop out silently; a drop elsewhere adds nothing but still counts.
  Touch(dir_.File("notes.txt"));
  DropOn(ui_->sourceList, Paths({"notes.txt"}));
  DropOn(ui_->startButton, Paths({"a.jpg"}));
  EXPECT_EQ(ui_->sourceList->count(), 3);
  EXPECT_EQ(Counter(), "Files: 3");
}

TEST_F(SourceListTest, DestinationFieldTakesASingleDroppedFolder) {
  fs::create_directory(dir_.File("one"));
  fs::create_directory(dir_.File("two"));
  struct Case {
    QWidget* target;
    QStringList names;
    QString expected;
  };
  const Case cases[] = {
      {ui_->destinationEdit, Paths({"a.jpg"}), ""},
      {ui_->destinationEdit, Paths({"one", "two"}), ""},
      {ui_->destinationEdit, Paths({"one"}), Q(dir_.File("one"))},
      {ui_->openDestinationButton, Paths({"two"}),
       Q(dir_.File("two"))},  // the "?" lies on the field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names.join(",").toStdString());
    ui_->destinationEdit->clear();
    DropOn(c.target, c.names);
    EXPECT_EQ(ui_->destinationEdit->text(), c.expected);
  }
  EXPECT_EQ(ui_->sourceList->count(), 0);  // two folders on the field do not reach the list
}

TEST_F(SourceListTest, LongDroppedPathsAreKeptWhole) {
  std::string folder = dir_.Path();
  while (folder.size() < 300) folder += "/" + std::string(60, 'd');
  fs::create_directories(folder);
  const std::string file = folder + "/picture.jpg";
  Touch(file);
  DropOn(ui_->sourceList, {Q(file)});
  EXPECT_EQ(Entries(), QStringList{Q(file)});
}

TEST_F(SourceListTest, FoldersFollowIncludeSubFolders) {
  fs::create_directory(dir_.File("tree"));
  fs::create_directory(dir_.File("tree/sub"));
  Touch(dir_.File("tree/a.jpg"));
  Touch(dir_.File("tree/.b.jpg"));
  Touch(dir_.File("tree/sub/c.png"));
  DropOn(ui_->sourceList, Paths({"tree"}));
  EXPECT_EQ(ui_->sourceList->count(), 2);
  ui_->sourceList->clear();
  ui_->includeSubfoldersBox->setChecked(false);
  DropOn(ui_->sourceList, Paths({"tree"}));
  EXPECT_EQ(Entries(), Paths({"tree/a.jpg"}));
}

TEST_F(SourceListTest, CommandLinePathsFillTheListAtStart) {
  MainWindow none;
  EXPECT_EQ(test::WindowControls(none).fileCountLabel->text(), "Files:");
  MainWindow started({Q(dir_.Path()), Q(dir_.File("missing.jpg"))});
  EXPECT_EQ(test::WindowControls(started).sourceList->count(), 3);
  EXPECT_EQ(test::WindowControls(started).fileCountLabel->text(), "Files: 3");
}

TEST_F(SourceListTest, DeleteSelectAllAndTheCounter) {
  for (const QString& p : Paths({"a.jpg", "b.png", "c.gif", "a.jpg", "b.png"}))
    ui_->sourceList->addItem(p);
  ui_->sourceList->item(1)->setSelected(true);
  ui_->sourceList->item(3)->setSelected(true);
  ui_->deleteAction->trigger();
  EXPECT_EQ(Entries(), Paths({"a.jpg", "c.gif", "b.png"}));
  EXPECT_EQ(Counter(), "Files: 3");

  ui_->selectAllAction->trigger();
  EXPECT_EQ(ui_->sourceList->selectedItems().size(), 3);
  EXPECT_EQ(Counter(), "Files: 3");

  ui_->sourceList->addItem(Q(dir_.File("a.jpg")));  // not counted until a key is pressed
  EXPECT_EQ(Counter(), "Files: 3");
  QTest::keyClick(ui_->sourceList, Qt::Key_Shift);
  EXPECT_EQ(Counter(), "Files: 4");
  ui_->sourceList->item(3)->setSelected(false);
  QTest::keyClick(ui_->sourceList, Qt::Key_Delete);
  EXPECT_EQ(Entries(), Paths({"a.jpg"}));
  EXPECT_EQ(Counter(), "Files: 1");
}

TEST_F(SourceListTest, DoubleClickPreviewsTheCaretEntry) {
  QImage wide(200, 100, QImage::Format_RGB32);
  wide.fill(QColor(200, 10, 20));
  ASSERT_TRUE(wide.save(Q(dir_.File("wide.bmp")), "BMP"));
  ui_->sourceList->addItem(Q(dir_.File("a.jpg")));  // not decodable
  ui_->sourceList->addItem(Q(dir_.File("wide.bmp")));
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));

  ui_->sourceList->setCurrentRow(1);
  emit ui_->sourceList->listDoubleClicked();
  EXPECT_TRUE(ui_->previewPanel->isVisible());
  EXPECT_EQ(ui_->previewImage->picture().size(), QSize(200, 100));
  EXPECT_EQ(ui_->previewImage->picture().pixel(5, 5), qRgb(200, 10, 20));
  // Scaled down into the panel with its proportions kept, centred.
  const QRect shown = ui_->previewImage->pictureRect();
  EXPECT_EQ(shown.width(), ui_->previewImage->width());
  EXPECT_EQ(shown.height(), ui_->previewImage->width() / 2);
  EXPECT_EQ(shown.top(), (ui_->previewImage->height() - shown.height()) / 2);
  EXPECT_EQ(ui_->previewImage->geometry(), ui_->previewPanel->rect().adjusted(4, 4, -4, -4));

  QTest::mouseDClick(ui_->previewImage, Qt::LeftButton);
  EXPECT_FALSE(ui_->previewPanel->isVisible());

  // A file that cannot be decoded: the error box, and the panel stays hidden.
  test::ModalWatcher watcher;
  ui_->sourceList->setCurrentRow(0);
  QTest::mouseDClick(ui_->sourceList->viewport(), Qt::LeftButton, {},
                     ui_->sourceList->visualItemRect(ui_->sourceList->item(0)).center());
  ASSERT_EQ(watcher.SeenWindows().size(), 1u);
  // The box names the file, and the panel no longer holds the last picture.
  EXPECT_TRUE(watcher.SeenWindows()[0].text.contains(Q(dir_.File("a.jpg"))))
      << watcher.SeenWindows()[0].text.toStdString();
  EXPECT_FALSE(ui_->previewPanel->isVisible());
  EXPECT_TRUE(ui_->previewImage->picture().isNull());
}

// However a file arrives again (a folder twice, another spelling, a link, paste,
// the file dialog, the command line), it is listed once; a folder's files come in natural
// name order.
TEST_F(SourceListTest, AFileIsListedOnceAndFoldersInNaturalNameOrder) {
  fs::create_directory(dir_.File("holiday"));
  for (const char* name : {"pic_1855.jpg", "pic_10.jpg", "pic_2.jpg", "pic_0877.jpg"})
    Touch(dir_.File(std::string("holiday/") + name));
  const QStringList natural = Paths(
      {"holiday/pic_2.jpg", "holiday/pic_10.jpg", "holiday/pic_0877.jpg", "holiday/pic_1855.jpg"});
  DropOn(ui_->sourceList, Paths({"holiday"}));
  EXPECT_EQ(Entries(), natural);
  DropOn(ui_->sourceList, {Q(dir_.File("holiday/"))});
  QGuiApplication::clipboard()->setMimeData(UrlData(Paths({"holiday"})).release());
  ui_->pasteAction->trigger();
  EXPECT_EQ(Entries(), natural);
  EXPECT_EQ(Counter(), "Files: 4");

  test::ModalWatcher watcher;
  watcher.Then([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    dialog->setDirectory(Q(dir_.File("holiday")));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("\"pic_2.jpg\" \"pic_10.jpg\"");
    static_cast<QDialog*>(dialog)->accept();
  });
  ui_->sourceFilesButton->click();
  EXPECT_EQ(Entries(), natural);

  MainWindow started({Q(dir_.File("holiday")), Q(dir_.File("holiday//pic_2.jpg"))});
  EXPECT_EQ(test::WindowControls(started).sourceList->count(), 4);

  // A link or a second hard link to a listed file names the same file.
  fs::create_symlink(dir_.File("holiday/pic_2.jpg"), dir_.File("link.jpg"));
  fs::create_hard_link(dir_.File("holiday/pic_10.jpg"), dir_.File("hard.jpg"));
  DropOn(ui_->sourceList, Paths({"link.jpg", "hard.jpg"}));
  EXPECT_EQ(Entries(), natural);
}

// A path wider than the list keeps its file name in view: the middle gives way.
TEST_F(SourceListTest, LongPathsAreElidedInTheMiddle) {
  std::string folder = dir_.Path();
  while (folder.size() < 300) folder += "/" + std::string(40, 'd');
  fs::create_directories(folder);
  Touch(folder + "/picture.jpg");
  DropOn(ui_->sourceList, {Q(folder)});
  ASSERT_EQ(ui_->sourceList->count(), 1);
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  const QRect row = ui_->sourceList->visualItemRect(ui_->sourceList->item(0));
  EXPECT_LE(row.right(), ui_->sourceList->viewport()->width());
  // The row is no wider than the list, so the view elides the text by its mode.
  EXPECT_EQ(ui_->sourceList->textElideMode(), Qt::ElideMiddle);
  EXPECT_EQ(ui_->sourceList->horizontalScrollBar()->maximum(), 0);
}

// Plain text holding a path is pasted like a file; a paste with nothing usable says so.
TEST_F(SourceListTest, PastedTextPathsAreAddedAndAnEmptyPasteIsReported) {
  QGuiApplication::clipboard()->setText(Q(dir_.File("c.gif")) + "\n" + Q(dir_.File("a.jpg")));
  QTest::keyClick(ui_->sourceList, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Entries(), Paths({"c.gif", "a.jpg"}));
  EXPECT_EQ(form_->feedback(), "");
  QGuiApplication::clipboard()->setText("holiday photos");
  QTest::keyClick(ui_->sourceList, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(form_->feedback(), "Nothing to paste: the clipboard holds no file or folder");
  QGuiApplication::clipboard()->setText(Q(dir_.File("a.jpg")));
  QTest::keyClick(ui_->sourceList, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(form_->feedback(), "Nothing pasted: no picture that is not listed yet");
  EXPECT_EQ(Counter(), "Files: 2");
}

TEST_F(SourceListTest, SourceFilesDialogAddsTheChosenNamesAndRemembersTheType) {
  test::ModalWatcher watcher;
  QString firstFilter;
  watcher.Then([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    firstFilter = dialog->nameFilters().value(0);
    dialog->selectNameFilter(dialog->nameFilters().value(2));
    dialog->setDirectory(Q(dir_.Path()));
    // Typed into the name field, as a user picking two files does.
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.jpg\" \"c.gif\"");
    static_cast<QDialog*>(dialog)->accept();
  });
  QString reopenedWith;
  watcher.Then([&](QWidget* w) {
    reopenedWith = qobject_cast<QFileDialog*>(w)->selectedNameFilter();
    qobject_cast<QFileDialog*>(w)->reject();
  });
  ui_->sourceFilesButton->click();
  EXPECT_TRUE(firstFilter.startsWith("All (*.")) << firstFilter.toStdString();
  for (const char* phone : {"*.heic", "*.avif", "*.webp", "*.jxl"})
    EXPECT_TRUE(firstFilter.contains(phone)) << phone;
  EXPECT_EQ(Entries(), Paths({"a.jpg", "c.gif"}));
  EXPECT_EQ(Counter(), "Files: 2");

  ui_->sourceList->clear();
  ui_->sourceFilesButton->click();  // cancelled: the counter is updated all the same
  EXPECT_EQ(Counter(), "Files: 0");
  EXPECT_EQ(reopenedWith, ui_->fileDialog->nameFilters().value(2));
}

TEST_F(SourceListTest, FolderChooserScansCreatesOrRefuses) {
  const auto choose = [](const QString& name, bool accept = true) {
    return [name, accept](QWidget* w) {
      auto* dialog = qobject_cast<FolderDialog*>(w);
      dialog->nameEdit()->setText(name);
      if (accept)
        dialog->accept();
      else
        dialog->reject();
    };
  };
  test::ModalWatcher watcher;
  watcher.Then(choose(Q(dir_.Path())));
  ui_->sourceFolderButton->click();
  EXPECT_EQ(ui_->sourceList->count(), 3);
  EXPECT_EQ(Counter(), "Files: 3");

  // A missing folder: No keeps the chooser open, Yes creates it with its parents.
  const QString fresh = Q(dir_.File("new/deeper"));
  bool stayedOpen = false;
  watcher.Then([&](QWidget* w) {
    auto* dialog = qobject_cast<FolderDialog*>(w);
    dialog->nameEdit()->setText(fresh);
    dialog->accept();  // answered No
    stayedOpen = dialog->isVisible();
    dialog->accept();  // answered Yes
  });
  watcher.ThenPress(QMessageBox::No);
  watcher.ThenPress(QMessageBox::Yes);
  ui_->destinationButton->click();
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(ui_->destinationEdit->text(), fresh);
  EXPECT_TRUE(fs::is_directory(fresh.toStdString()));
  EXPECT_EQ(watcher.SeenWindows()[3].text, "The specified directory does not exist. Create it?");

  // An empty name cannot be created: the error reaches the error hook.
  watcher.Then(choose(""));
  watcher.ThenPress(QMessageBox::Yes);
  watcher.ThenPress(QMessageBox::Ok);
  QTest::mouseClick(ui_->sourceFolderButton, Qt::LeftButton);  // through event delivery
  EXPECT_EQ(watcher.Texts().last(), "Unable to create directory.");
  EXPECT_EQ(ui_->pauseButton->text(), "&PAUSE");  // no run: the hook leaves the buttons alone
  EXPECT_FALSE(ui_->pauseButton->isEnabled());
  EXPECT_EQ(Counter(), "Files: 3");

  watcher.Then(choose(Q(dir_.File("elsewhere")), false));
  ui_->destinationButton->click();
  EXPECT_EQ(ui_->destinationEdit->text(), fresh);  // Cancel keeps the field
}

}  // namespace
}  // namespace tessane
