#include "app/batch_controller.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include "base/errors.h"

namespace tessane {

namespace {

uint32_t SystemTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// "2.50" with the locale's decimal separator and no grouping.
QString FormatSeconds(double seconds) {
  QString text = QString::asprintf("%.2f", seconds);
  return text.replace(u'.', QLocale().decimalPoint());
}

}  // namespace

BatchController::BatchController(QListWidget* entries, StartJob startJob, QObject* parent)
    : QObject(parent),
      tickCount(SystemTickCount),
      processMessages([] { QCoreApplication::processEvents(); }),
      entries_(entries),
      startJob_(std::move(startJob)) {}

void BatchController::setState(bool running, bool active, bool paused) {
  running_ = running;
  active_ = active;
  paused_ = paused;
  emit stateChanged();
}

void BatchController::start() {
  // A second batch while files are still handed over would run two files at once and mix
  // their numbering.
  if (busy()) return;
  processed_ = failed_ = warned_ = 0;
  elapsedMs_ = 0;
  emit runStarted(entries_->count());
  // The pause button keeps its caption: a START while paused leaves CONTINUE to go on from where
  // the pause was.
  setState(true, true, paused_);
  resumeIndex_ = 0;
  run(0);
}

void BatchController::pauseOrContinue() {
  if (paused_) {
    setState(true, active_, false);
    // A loop still waiting for its file's outcome just goes on.
    if (!busy()) run(resumeIndex_);
  } else {
    setState(false, active_, true);
  }
}

void BatchController::quit() {
  resumeIndex_ = 0;
  setState(false, false, false);
}

void BatchController::quitAndClose() {
  // The outermost run() closes the window when its files are done.
  closeRequested_ = true;
  quit();
}

void BatchController::run(int32_t startIndex) {
  struct Depth {
    BatchController* batch;
    explicit Depth(BatchController* b) : batch(b) { ++batch->depth_; }
    ~Depth() {
      if (--batch->depth_ == 0 && batch->closeRequested_) {
        batch->closeRequested_ = false;
        QTimer::singleShot(0, batch, &BatchController::closeReady);
      }
    }
  } depth(this);
  const uint32_t startTick = tickCount();
  int32_t i = startIndex;
  const int32_t iterations = entries_->count() - startIndex;
  for (int32_t n = 0; n < iterations; ++n) {
    if (closeRequested_) break;
    const auto ended = std::make_shared<bool>(false);
    handOver(i, ended);
    processMessages();
    // The UI keeps answering while the file's work runs; the next file waits for its outcome.
    while (!*ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ++i;
    if (!running_) break;
  }
  resumeIndex_ = i;
  // Unsigned subtraction: right across the tick count's wrap at 2^32.
  elapsedMs_ += static_cast<uint32_t>(tickCount() - startTick);
  QString activity =
      QStringLiteral("File activity: %1/%2 files processed").arg(processed_).arg(entries_->count());
  if (failed_ > 0) activity += QStringLiteral(", %1 failed").arg(failed_);
  if (warned_ > 0) activity += QStringLiteral(", %1 with warnings").arg(warned_);
  emit runEnded(activity + QStringLiteral(". Time: %1 secs").arg(FormatSeconds(seconds())));
  if (i == entries_->count()) {
    resumeIndex_ = 0;
    setState(running_, false, false);
  }
}

void BatchController::handOver(int32_t index, const std::shared_ptr<bool>& ended) {
  if (index < 0 || index >= entries_->count())
    throw ListIndexError(Format("List index out of bounds (%d)", index));
  QListWidgetItem* const item = entries_->item(index);
  if (item->data(kEntryIdRole).isNull()) item->setData(kEntryIdRole, ++lastEntryId_);
  emit entryTaken(processed_ + 1, entries_->count(), QFileInfo(item->text()).fileName());
  JobEnded done = [self = QPointer<BatchController>(this), index,
                   entryId = item->data(kEntryIdRole).toULongLong(),
                   ended](const JobOutcome& outcome) {
    *ended = true;
    if (!self) return;
    ++self->processed_;
    if (outcome.kind == JobOutcome::Kind::kFailed) ++self->failed_;
    if (outcome.kind == JobOutcome::Kind::kWrittenWithWarnings) ++self->warned_;
    try {
      emit self->entryEnded(index, entryId, outcome);
    } catch (...) {
      // A mark that cannot be drawn must not turn the file's outcome into another one.
    }
  };
  startJob_(QFile::encodeName(item->text()).toStdString(), std::move(done));
}

}  // namespace tessane
