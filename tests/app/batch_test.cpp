#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_test_support.h"
#include "app/batch_controller.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "base/thread.h"
#include "jobs/copy_job_thread.h"
#include "support/test_support.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;

// A fast-copy run over real files: sources f0.jpg .. fN.jpg put into the list directly, copies
// into out/. The loop's message processing and the tick count are the test's: actions can be
// scheduled for the processing that follows the hand-over of a given entry.
class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir_.File("out"));
    form_ = std::make_unique<MainWindow>();
    ui_ = std::make_unique<test::WindowControls>(*form_);
    ui_->fastCopyBox->setChecked(true);
    ui_->destinationEdit->setText(QString::fromStdString(dir_.File("out")));
    form_->batch().processMessages = [this] {
      ++processed_;
      if (auto it = after_.find(processed_); it != after_.end()) it->second();
      QCoreApplication::processEvents();
    };
    form_->batch().tickCount = [this] { return ticks_.empty() ? 0u : Tick(); };
  }
  void TearDown() override {
    EXPECT_TRUE(test::DrainJobs());
    QLocale::setDefault(QLocale::c());
  }

  uint32_t Tick() {
    const uint32_t t = ticks_.front();
    if (ticks_.size() > 1) ticks_.erase(ticks_.begin());
    return t;
  }

  void AddSources(int n) {
    for (int i = 0; i < n; ++i) {
      const std::string path = dir_.File("f" + std::to_string(i) + ".jpg");
      test::WriteBytes(path, {static_cast<uint8_t>(i), 1, 2, 3});
      ui_->sourceList->addItem(QString::fromStdString(path));
    }
  }
  // Runs `action` in the message processing after the hand-over of entry k (counted from the
  // start of the test, over every run).
  void After(int entry, std::function<void()> action) { after_[entry + 1] = std::move(action); }
  void AfterCall(int call, std::function<void()> action) { after_[call] = std::move(action); }

  std::vector<std::string> Copies() {
    EXPECT_TRUE(test::DrainJobs());
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.File("out")))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::vector<std::string> Names(int from, int to) {
    std::vector<std::string> names;
    for (int i = from; i < to; ++i) names.push_back("f" + std::to_string(i) + ".jpg");
    std::sort(names.begin(), names.end());
    return names;
  }
  void ExpectIdle() {
    EXPECT_EQ(ui_->pauseButton->text(), "&PAUSE");
    EXPECT_FALSE(ui_->pauseButton->isEnabled());
    EXPECT_FALSE(ui_->quitButton->isEnabled());
    EXPECT_TRUE(ui_->startButton->isEnabled());
  }
  QString Activity() const { return ui_->activityLabel->text(); }
  // Types into the destination field as a user would.
  void TypeDestination(const std::string& path) {
    ui_->destinationEdit->selectAll();
    QTest::keyClick(ui_->destinationEdit, Qt::Key_Delete);
    QTest::keyClicks(ui_->destinationEdit, QString::fromStdString(path));
  }
  QPoint EntryCentre(int row) const {
    return ui_->sourceList->visualItemRect(ui_->sourceList->item(row)).center();
  }

  test::TempDir dir_;
  std::unique_ptr<MainWindow> form_;
  std::unique_ptr<test::WindowControls> ui_;
  int processed_ = 0;
  std::map<int, std::function<void()>> after_;
  std::vector<uint32_t> ticks_;
};

TEST_F(BatchTest, FinishedRunCopiesEveryFileAndReportsIt) {
  AddSources(3);
  ticks_ = {1000, 3500};
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: 3/3 files processed. Time: 2.50 secs");
  ExpectIdle();
  EXPECT_EQ(ui_->progressBar->value(), 3);  // filled
  EXPECT_EQ(ui_->progressBar->maximum(), 3);
  EXPECT_EQ(form_->batch().resumeIndex(), 0);
  EXPECT_EQ(Copies(), Names(0, 3));
  EXPECT_EQ(test::ReadBytes(dir_.File("out/f2.jpg")), (std::vector<uint8_t>{2, 1, 2, 3}));

  // A second run finds every name taken.
  ui_->startButton->click();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"f0.jpg", "f0[1].jpg", "f1.jpg", "f1[1].jpg",
                                                "f2.jpg", "f2[1].jpg"}));
}

TEST_F(BatchTest, TimeSurvivesTheTickWrapAndUsesTheLocaleSeparator) {
  AddSources(1);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ticks_ = {0xFFFFF000u, 0x00000A00u};  // 6656 ms across the wrap
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: 1/1 files processed. Time: 6,66 secs");
}

// PAUSE takes effect once the file under way has ended: no further file is handed over.
TEST_F(BatchTest, PauseStopsOnceTheFileUnderWayHasEndedThenContinueGoesOn) {
  AddSources(8);
  std::vector<int> progress;
  After(2, [this, &progress] {
    progress.push_back(ui_->progressBar->value());
    ui_->pauseButton->click();
  });
  ui_->startButton->click();
  EXPECT_EQ(progress, std::vector<int>{2});  // entries 0 and 1 done, 2 under way
  EXPECT_FALSE(form_->batch().running());
  EXPECT_EQ(form_->batch().resumeIndex(), 3);
  EXPECT_EQ(Activity(), "File activity: 3/8 files processed. Time: 0.00 secs");
  EXPECT_EQ(ui_->pauseButton->text(), "&CONTINUE");
  EXPECT_TRUE(ui_->pauseButton->isEnabled());
  EXPECT_TRUE(ui_->quitButton->isEnabled());
  EXPECT_EQ(ui_->progressBar->value(), 3);
  EXPECT_EQ(Copies(), Names(0, 3));

  ui_->pauseButton->click();  // CONTINUE
  EXPECT_EQ(Activity(), "File activity: 8/8 files processed. Time: 0.00 secs");
  ExpectIdle();
  EXPECT_EQ(ui_->progressBar->value(), 8);
  EXPECT_EQ(Copies(), Names(0, 8));
}

// The line counts the batch since START, whatever PAUSE, CONTINUE and QUIT came between, and
// names the file under way while the run goes on.
TEST_F(BatchTest, ActivityCountsEveryFileOfTheBatchAcrossPauseContinueAndQuit) {
  AddSources(11);
  QStringList lines;
  After(3, [this, &lines] {
    lines << Activity();
    ui_->pauseButton->click();
  });
  ticks_ = {1000, 1500, 2000, 3000};
  ui_->startButton->click();
  ASSERT_EQ(form_->batch().resumeIndex(), 4);
  EXPECT_EQ(lines, QStringList{"File activity: 4/11 f3.jpg"});
  EXPECT_EQ(Activity(), "File activity: 4/11 files processed. Time: 0.50 secs");
  // Calls so far: after entries 0..3 = 4; the continued run's call after entry 7 is the 8th.
  AfterCall(8, [this] { QTest::mouseClick(ui_->quitButton, Qt::LeftButton); });
  ui_->pauseButton->click();  // CONTINUE
  EXPECT_EQ(Activity(), "File activity: 8/11 files processed. Time: 1.50 secs");
  ExpectIdle();
  EXPECT_EQ(Copies(), Names(0, 8));
  EXPECT_EQ(ui_->progressBar->value(), 8);
  EXPECT_EQ(ui_->progressBar->maximum(), 11);
}

TEST_F(BatchTest, PauseDuringTheLastEntryStillFinishes) {
  AddSources(4);
  After(3, [this] { ui_->pauseButton->click(); });
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: 4/4 files processed. Time: 0.00 secs");
  ExpectIdle();
  EXPECT_EQ(form_->batch().resumeIndex(), 0);
  EXPECT_EQ(Copies(), Names(0, 4));
}

TEST_F(BatchTest, QuitLetsTheFileUnderWayEndAndReturnsToIdle) {
  AddSources(6);
  After(1, [this] { ui_->quitButton->click(); });
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: 2/6 files processed. Time: 0.00 secs");
  ExpectIdle();
  EXPECT_FALSE(form_->batch().running());
  EXPECT_EQ(Copies(), Names(0, 2));
}

TEST_F(BatchTest, StartWhilePausedRunsFromTheFirstEntryWithCaptionKept) {
  AddSources(5);
  After(0, [this] { ui_->pauseButton->click(); });
  ui_->startButton->click();
  ASSERT_EQ(ui_->pauseButton->text(), "&CONTINUE");
  ASSERT_EQ(form_->batch().resumeIndex(), 1);
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: 5/5 files processed. Time: 0.00 secs");
  ExpectIdle();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"f0.jpg", "f0[1].jpg", "f1.jpg", "f2.jpg", "f3.jpg",
                                                "f4.jpg"}));
}

TEST_F(BatchTest, FailedFilesAreCountedAndMarkedWithTheirMessage) {
  struct Case {
    const char* name;
    bool fastCopy;
    const char* bad;  // the failing entry, listed second
    const char* messageStart;
  };
  const Case cases[] = {
      {"copy of a missing file", true, "missing.jpg", "Error: Can't open source file!["},
      {"resize of a damaged picture", false, "damaged.jpg", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->sourceList->clear();
    AddSources(3);
    if (!c.fastCopy) {
      QImage picture(8, 8, QImage::Format_RGB32);
      picture.fill(Qt::red);
      for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(picture.save(ui_->sourceList->item(i)->text(), "JPEG"));
    }
    const std::string bad = dir_.File(c.bad);
    if (!c.fastCopy) test::WriteBytes(bad, {0xFF, 0xD8, 0xFF, 0xE0, 0, 1});
    ui_->sourceList->insertItem(1, QString::fromStdString(bad));
    if (ui_->fastCopyBox->isChecked() != c.fastCopy)
      QTest::mouseClick(ui_->fastCopyBox, Qt::LeftButton);
    ASSERT_EQ(ui_->fastCopyBox->isChecked(), c.fastCopy);
    test::ModalWatcher watcher;
    QTest::mouseClick(ui_->startButton, Qt::LeftButton);
    // Written once every file handed over has been dealt with.
    EXPECT_EQ(Activity(), "File activity: 4/4 files processed, 1 failed. Time: 0.00 secs");
    EXPECT_TRUE(watcher.SeenWindows().empty());  // told in the list, not by a box per file
    ExpectIdle();

    const QString message = form_->entryError(1);
    EXPECT_FALSE(message.isEmpty());
    EXPECT_TRUE(message.startsWith(QString::fromUtf8(c.messageStart))) << message.toStdString();
    if (c.fastCopy) {
      EXPECT_TRUE(message.contains(QString::fromStdString(bad)));
    }
    QListWidgetItem* failed = ui_->sourceList->item(1);
    EXPECT_FALSE(failed->icon().isNull());
    EXPECT_NE(failed->foreground(), ui_->sourceList->item(0)->foreground());
    for (int row : {0, 2, 3}) {
      EXPECT_EQ(form_->entryError(row), "") << row;
      EXPECT_TRUE(ui_->sourceList->item(row)->icon().isNull()) << row;
    }
    // The pointer resting on the entry shows why it failed.
    QWidget* viewport = ui_->sourceList->viewport();
    QHelpEvent help(QEvent::ToolTip, EntryCentre(1), viewport->mapToGlobal(EntryCentre(1)));
    QApplication::sendEvent(viewport, &help);
    EXPECT_EQ(QToolTip::text(), message);
    QToolTip::hideText();
    // So does the status bar.
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    EXPECT_EQ(form_->hintAt(viewport->mapToGlobal(EntryCentre(1))), message);
    EXPECT_EQ(form_->hintAt(viewport->mapToGlobal(EntryCentre(0))),
              "Source files - double click to view");
    form_->hide();

    // Put right, the file goes through the next run and loses its mark.
    fs::copy_file(dir_.File("f0.jpg"), bad, fs::copy_options::overwrite_existing);
    QTest::mouseClick(ui_->startButton, Qt::LeftButton);
    EXPECT_TRUE(Activity().startsWith("File activity: 4/4 files processed. Time: "));
    EXPECT_EQ(form_->entryError(1), "");
    EXPECT_TRUE(failed->icon().isNull());
    EXPECT_EQ(failed->toolTip(), "");
    fs::remove(bad);
  }
}

TEST_F(BatchTest, AMissingDestinationIsOfferedForCreationAndNoStartsNothing) {
  AddSources(2);
  const std::string fresh = dir_.File("made/deeper");
  TypeDestination(fresh);
  test::ModalWatcher watcher;
  watcher.ThenPress(QMessageBox::No);
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  ASSERT_EQ(watcher.SeenWindows().size(), 1u);
  EXPECT_EQ(watcher.SeenWindows()[0].title, "Confirm");
  EXPECT_EQ(watcher.SeenWindows()[0].text, "The specified directory does not exist. Create it?");
  EXPECT_FALSE(fs::exists(dir_.File("made")));
  EXPECT_EQ(Activity(), "File activity: ");
  ExpectIdle();

  watcher.ThenPress(QMessageBox::Yes);
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  EXPECT_EQ(Activity(), "File activity: 2/2 files processed. Time: 0.00 secs");
  ASSERT_TRUE(test::DrainJobs());
  EXPECT_TRUE(fs::exists(fresh + "/f0.jpg"));
  EXPECT_TRUE(fs::exists(fresh + "/f1.jpg"));

  // A file in the way cannot become a folder: the error is shown and no run starts.
  test::WriteBytes(dir_.File("plain"), {1});
  TypeDestination(dir_.File("plain/out"));
  watcher.ThenPress(QMessageBox::Yes);
  watcher.ThenPress(QMessageBox::Ok);
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  EXPECT_EQ(watcher.Texts().last(), "Unable to create directory.");
  EXPECT_EQ(Activity(), "File activity: 2/2 files processed. Time: 0.00 secs");
  ExpectIdle();
}

TEST_F(BatchTest, ErrorsWhileIdleNeverStartARun) {
  // Two damaged pictures previewed in turn, as a user double-clicks them.
  AddSources(3);
  test::ModalWatcher watcher;
  for (int row : {0, 1}) {
    QTest::mouseClick(ui_->sourceList->viewport(), Qt::LeftButton, {}, EntryCentre(row));
    QTest::mouseDClick(ui_->sourceList->viewport(), Qt::LeftButton, {}, EntryCentre(row));
  }
  ASSERT_EQ(watcher.SeenWindows().size(), 2u);
  EXPECT_EQ(watcher.SeenWindows()[1].title, "Tessane");
  ExpectIdle();
  EXPECT_EQ(Activity(), "File activity: ");
  EXPECT_TRUE(Copies().empty());

  // During a run the hook still pauses it.
  After(0, [this] {
    QTest::mouseDClick(ui_->sourceList->viewport(), Qt::LeftButton, {}, EntryCentre(2));
  });
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  EXPECT_EQ(ui_->pauseButton->text(), "&CONTINUE");
  EXPECT_TRUE(ui_->pauseButton->isEnabled());
  EXPECT_EQ(Activity(), "File activity: 1/3 files processed. Time: 0.00 secs");
}

TEST_F(BatchTest, EntriesDeletedDuringTheRunStopItThroughTheErrorHook) {
  AddSources(4);
  After(0, [this] { ui_->sourceList->clear(); });
  test::ModalWatcher watcher;
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  EXPECT_EQ(watcher.Texts(), QStringList{"List index out of bounds (1)"});
  // The failed call writes no closing line: the line still names the file it last took.
  EXPECT_EQ(Activity(), "File activity: 1/4 f0.jpg");
  EXPECT_EQ(form_->batch().resumeIndex(), 0);
  EXPECT_FALSE(form_->batch().running());
  EXPECT_EQ(ui_->pauseButton->text(), "&CONTINUE");
  EXPECT_EQ(Copies(), Names(0, 1));
}

TEST_F(BatchTest, StartAsksBeforeWritingBesideTheSourcesAndNeedsEntries) {
  {
    test::ModalWatcher watcher;
    ui_->startButton->click();  // empty list: nothing at all
    EXPECT_TRUE(watcher.SeenWindows().empty());
    EXPECT_EQ(Activity(), "File activity: ");
  }
  AddSources(2);
  ui_->destinationEdit->clear();
  test::ModalWatcher watcher;
  watcher.ThenPress(QMessageBox::Cancel);
  watcher.ThenPress(QMessageBox::Ok);
  ui_->startButton->click();
  EXPECT_EQ(Activity(), "File activity: ");
  EXPECT_FALSE(ui_->pauseButton->isEnabled());
  ui_->startButton->click();
  ASSERT_EQ(watcher.SeenWindows().size(), 2u);
  EXPECT_EQ(watcher.SeenWindows()[0].title, "Warning");
  EXPECT_EQ(watcher.SeenWindows()[0].text,
            "Destination will be source folder and files may be overwritten!  Continue?");
  EXPECT_EQ(Activity(), "File activity: 2/2 files processed. Time: 0.00 secs");
  // Copied beside themselves under numbered names.
  ASSERT_TRUE(test::DrainJobs());
  EXPECT_TRUE(fs::exists(dir_.File("f0[1].jpg")));
  EXPECT_TRUE(fs::exists(dir_.File("f1[1].jpg")));
}

// Overwrite on with outputs landing on their own sources: a second box counts the originals at
// stake and Return (its default) cancels; the folder typed in gets the same question.
TEST_F(BatchTest, OverwritingTheSourcesNeedsASecondConfirmationThatDefaultsToCancel) {
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(QColor(200, 40, 40));
  std::vector<std::string> sources;
  for (const char* name : {"a.jpg", "b.jpg", "c.png"}) {
    sources.push_back(dir_.File(name));
    ASSERT_TRUE(picture.save(QString::fromStdString(sources.back())));
    ui_->sourceList->addItem(QString::fromStdString(sources.back()));
  }
  const auto sizes = [&] {
    std::vector<QSize> out;
    for (const std::string& source : sources)
      out.push_back(QImage(QString::fromStdString(source)).size());
    return out;
  };
  QTest::mouseClick(ui_->fastCopyBox, Qt::LeftButton);
  QTest::mouseClick(ui_->resizeOverwriteBox, Qt::LeftButton);
  ASSERT_TRUE(ui_->resizeOverwriteBox->isChecked());
  ui_->sizePixelsBox->setValue(16);
  const auto pressReturn = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); };

  ui_->destinationEdit->clear();
  test::ModalWatcher watcher;
  watcher.Then(pressReturn);  // the warning about the empty destination: OK
  watcher.Then(pressReturn);  // the second box: Cancel
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  ASSERT_TRUE(test::ProcessUntil([&] { return watcher.SeenWindows().size() == 2; }));
  EXPECT_EQ(watcher.SeenWindows()[1].text,
            "Overwrite is on: 3 source files would be replaced by their output and lost.  "
            "Replace the originals?");
  EXPECT_EQ(Activity(), "File activity: ");
  EXPECT_EQ(sizes(), std::vector<QSize>(3, QSize(40, 30)));

  // Typed as the sources' own folder (with a trailing slash): only the second box, and its
  // Replace button goes ahead.
  TypeDestination(dir_.Path() + "/");
  watcher.Then(
      [](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  ASSERT_EQ(watcher.SeenWindows().size(), 3u);
  EXPECT_TRUE(Activity().startsWith("File activity: 3/3 files processed"));
  EXPECT_EQ(sizes(), std::vector<QSize>(3, QSize(16, 12)));

  // Overwrite off: outputs are numbered beside their sources, so no second box.
  QTest::mouseClick(ui_->resizeOverwriteBox, Qt::LeftButton);
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  EXPECT_EQ(watcher.SeenWindows().size(), 3u);
}

// Every listed file ends with an outcome of its own: phones' formats are read and written in
// the default format, a name the file dialog let through without a readable type is marked
// failed with its reason, and a picture decoded from damaged data is written and marked with
// its warning.
TEST_F(BatchTest, EveryFileEndsMarkedWithWhatBecameOfIt) {
  struct Row {
    const char* listed;
    const char* fixture;  // under tests/data; null: made by the test
    const char* output;   // null: nothing written
    const char* mark;     // "", "failed" or "warning"
  };
  const Row rows[] = {
      {"photo.heic", "heif/photo.heic", "photo.jpg", ""},
      {"lossy.webp", "webp/lossy.webp", "lossy.jpg", ""},
      {"photo.avif", "avif/photo.avif", "photo.jpg", ""},  // beside photo.heic's output
      {"lossy.jxl", "jxl/lossy.jxl", "lossy.jpg", ""},
      {"notes.txt", nullptr, nullptr, "failed"},
      {"cut.jpg", nullptr, "cut.jpg", "warning"},
      {"empty.jpg", nullptr, nullptr, "failed"},
  };
  test::WriteBytes(dir_.File("notes.txt"), {'h', 'i'});
  test::WriteBytes(dir_.File("empty.jpg"), {});
  {
    QImage picture(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) picture.setPixel(x, y, qRgb(x, y, (x * y) & 255));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir_.File("whole.jpg")), "JPEG", 90));
    std::vector<uint8_t> bytes = test::ReadBytes(dir_.File("whole.jpg"));
    bytes.resize(bytes.size() * 2 / 3);  // the second half of the scan is missing
    test::WriteBytes(dir_.File("cut.jpg"), bytes);
  }
  for (const Row& row : rows) {
    if (row.fixture) fs::copy_file(test::DataPath(row.fixture), dir_.File(row.listed));
    ui_->sourceList->addItem(QString::fromStdString(dir_.File(row.listed)));
  }
  QTest::mouseClick(ui_->fastCopyBox, Qt::LeftButton);
  ui_->sizePixelsBox->setValue(20);
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);

  EXPECT_EQ(Activity(),
            "File activity: 7/7 files processed, 2 failed, 1 with warnings. Time: 0.00 secs");
  for (int i = 0; i < 7; ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.listed);
    if (row.output) {
      const QImage out(QString::fromStdString(dir_.File("out/") + row.output));
      EXPECT_EQ(std::max(out.width(), out.height()), 20);
    }
    const QListWidgetItem* item = ui_->sourceList->item(i);
    EXPECT_EQ(item->icon().isNull(), std::string(row.mark).empty());
    EXPECT_EQ(form_->entryError(i).isEmpty(), std::string(row.mark).empty());
  }
  EXPECT_EQ(form_->entryError(4),
            "Nothing written: \"notes.txt\" is not a picture format this program reads");
  EXPECT_EQ(ui_->sourceList->item(5)->toolTip(), form_->entryError(5));
  EXPECT_EQ(form_->entryError(6), "Empty file");
  // Four pictures went to .jpg: photo.heic and photo.avif share a name, so one is numbered.
  EXPECT_EQ(Copies(), (std::vector<std::string>{"cut.jpg", "lossy.jpg", "lossy[1].jpg", "photo.jpg",
                                                "photo[1].jpg"}));
}

// Driven by keys alone: QUIT pressed with Space leaves the focus on START, not on whatever
// follows the disabled button; the status bar tells what the run did and offers its folder;
// emptying the list clears the line and the bar.
TEST_F(BatchTest, KeyboardRunKeepsTheFocusAndTheStatusBarTellsTheOutcome) {
  AddSources(4);
  ui_->sourceList->addItem(QString::fromStdString(dir_.File("missing.jpg")));
  QList<QUrl> opened;
  form_->openUrl = [&](const QUrl& url) {
    opened << url;
    return true;
  };
  form_->show();
  QApplication::setActiveWindow(form_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  ui_->startButton->setFocus();
  QTest::keyClick(ui_->startButton, Qt::Key_Space);
  EXPECT_TRUE(ui_->startButton->hasFocus());
  EXPECT_EQ(form_->feedback(), "4 written, 1 failed in 0.0 s");
  QPushButton* showOutputs = form_->findChild<QPushButton*>("OpenOutput");
  ASSERT_NE(showOutputs, nullptr);
  EXPECT_TRUE(showOutputs->isVisible());
  QTest::mouseClick(showOutputs, Qt::LeftButton);
  EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(dir_.File("out")))});

  AfterCall(5 + 2, [this] {  // the first run made five calls
    ui_->quitButton->setFocus();
    QTest::keyClick(ui_->quitButton, Qt::Key_Space);
  });
  QTest::keyClick(ui_->startButton, Qt::Key_Space);
  ExpectIdle();
  EXPECT_TRUE(ui_->startButton->hasFocus())
      << QApplication::focusWidget()->objectName().toStdString();
  EXPECT_EQ(Activity(), "File activity: 2/5 files processed. Time: 0.00 secs");

  ui_->selectAllAction->trigger();
  QTest::keyClick(ui_->sourceList, Qt::Key_Delete);
  EXPECT_EQ(Activity(), "File activity: ");
  EXPECT_EQ(ui_->progressBar->value(), 0);
  EXPECT_FALSE(showOutputs->isVisible());
}

TEST_F(BatchTest, ClosingDuringARunQuitsOnceTheFilesHandedOverAreDone) {
  AddSources(4);
  QApplication::setQuitOnLastWindowClosed(false);  // the test's own loops must keep working
  form_->show();
  bool visibleAfterClose = false;
  After(0, [this, &visibleAfterClose] {
    form_->close();
    visibleAfterClose = form_->isVisible();
  });
  QTest::mouseClick(ui_->startButton, Qt::LeftButton);
  // The window stays while the file handed over is written, then closes.
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(Activity(), "File activity: 1/4 files processed. Time: 0.00 secs");
  EXPECT_EQ(Copies(), Names(0, 1));
  EXPECT_TRUE(test::ProcessUntil([this] { return !form_->isVisible(); }));
  QApplication::setQuitOnLastWindowClosed(true);
  EXPECT_EQ(Copies(), Names(0, 1));  // nothing more was handed over
}

TEST_F(BatchTest, ResizeModeWritesWithTheWindowsOptions) {
  QImage wide(200, 100, QImage::Format_RGB32);
  wide.fill(QColor(10, 120, 230));
  const std::string source = dir_.File("wide.bmp");
  ASSERT_TRUE(wide.save(QString::fromStdString(source), "BMP"));
  ui_->sourceList->addItem(QString::fromStdString(source));
  ui_->fastCopyBox->setChecked(false);
  ui_->outputFormatGroup->setItemIndex(5);  // .bmp
  ui_->nameAdditionGroup->setItemIndex(1);  // postfix "_t"
  ui_->sizePixelsBox->setValue(50);
  ui_->filterCombo->setCurrentIndex(0);
  ui_->startButton->click();
  ui_->resizeOverwriteBox->setChecked(true);
  ui_->startButton->click();  // replaces the first output
  ui_->resizeOverwriteBox->setChecked(false);
  ui_->startButton->click();  // a numbered second one
  EXPECT_EQ(Copies(), (std::vector<std::string>{"wide_t.bmp", "wide_t[1].bmp"}));
  const QImage out(QString::fromStdString(dir_.File("out/wide_t.bmp")));
  EXPECT_EQ(out.size(), QSize(50, 25));
  EXPECT_EQ(out.pixel(25, 12) & 0xFFFFFF, qRgb(10, 120, 230) & 0xFFFFFF);
}

// x.bmp and x.jpg side by side, both made into .bmp outputs beside them with overwriting: x.bmp
// may become its own output, but x.jpg's output must not replace x.bmp.
TEST_F(BatchTest, NoOutputReplacesAnotherSourceOfTheRun) {
  QImage blue(80, 40, QImage::Format_RGB32), red(80, 40, QImage::Format_RGB32);
  blue.fill(QColor(0, 0, 255));
  red.fill(QColor(255, 0, 0));
  const std::string bmp = dir_.File("out/x.bmp"), jpg = dir_.File("out/x.jpg");
  ASSERT_TRUE(blue.save(QString::fromStdString(bmp), "BMP"));
  ASSERT_TRUE(red.save(QString::fromStdString(jpg), "JPG"));
  ui_->sourceList->addItem(QString::fromStdString(bmp));
  ui_->sourceList->addItem(QString::fromStdString(jpg));
  ui_->fastCopyBox->setChecked(false);
  ui_->outputFormatGroup->setItemIndex(5);  // .bmp
  ui_->sizePixelsBox->setValue(40);
  ui_->resizeOverwriteBox->setChecked(true);
  test::ModalWatcher watcher;  // x.bmp would replace its own source: allowed when asked
  watcher.Then(
      [](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
  ui_->startButton->click();
  ASSERT_TRUE(test::DrainJobs());
  EXPECT_EQ(Copies(), (std::vector<std::string>{"x.bmp", "x.jpg"}));
  const QImage out(QString::fromStdString(bmp));
  EXPECT_EQ(out.size(), QSize(40, 20));  // its own output
  EXPECT_EQ(out.pixel(20, 10) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
  EXPECT_EQ(ui_->sourceList->item(1)->toolTip(), "The output would replace another source file");
}

// A folder or a dangling link at an output name once kept the job spinning on the UI thread,
// and a FIFO among the sources blocked the resize job in open(): both runs must end, numbering
// past what stands at the names and leaving nothing else behind.
TEST_F(BatchTest, FaultsAtTheNamesOrAmongTheSourcesStillEndTheRun) {
  AddSources(2);
  fs::create_directory(dir_.File("out/f0.jpg"));
  fs::create_symlink(dir_.File("nowhere"), dir_.File("out/f1.jpg"));
  ASSERT_EQ(::mkfifo(dir_.File("pipe.jpg").c_str(), 0644), 0);
  ui_->sourceList->addItem(QString::fromStdString(dir_.File("pipe.jpg")));
  ui_->startButton->click();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"f0.jpg", "f0[1].jpg", "f1.jpg", "f1[1].jpg"}));

  QImage wide(40, 20, QImage::Format_RGB32);
  wide.fill(QColor(10, 120, 230));
  ASSERT_TRUE(wide.save(QString::fromStdString(dir_.File("wide.bmp")), "BMP"));
  ui_->sourceList->clear();
  ui_->sourceList->addItem(QString::fromStdString(dir_.File("pipe.jpg")));
  ui_->sourceList->addItem(QString::fromStdString(dir_.File("wide.bmp")));
  ui_->fastCopyBox->setChecked(false);
  ui_->outputFormatGroup->setItemIndex(5);  // .bmp
  ui_->startButton->click();
  EXPECT_EQ(Copies(),
            (std::vector<std::string>{"f0.jpg", "f0[1].jpg", "f1.jpg", "f1[1].jpg", "wide.bmp"}));
}

TEST(WorkQueueInTheWindow, QueuedWorkRunsInsideAModalLoop) {
  test::TempDir dir;
  test::WriteBytes(dir.File("a.jpg"), {1, 2, 3});
  CopyRequest request;
  request.source_name = dir.File("a.jpg");
  request.dest_name = dir.File("b.jpg");
  request.buffer_size = 8192;
  NewThread<CopyJobThread>(std::move(request));
  // Only the box's own event loop runs here: it must dispatch the queued copy.
  QMessageBox box(QMessageBox::Information, "Tessane", "waiting", QMessageBox::Ok);
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (fs::exists(dir.File("b.jpg"))) box.done(QMessageBox::Ok);
  });
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [&] { box.done(QMessageBox::Cancel); });
  poll.start();
  giveUp.start(30000);
  EXPECT_EQ(box.exec(), QMessageBox::Ok);
  EXPECT_EQ(test::ReadBytes(dir.File("b.jpg")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(test::DrainJobs());
}

}  // namespace
}  // namespace tessane
