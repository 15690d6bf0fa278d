#include "app/batch_controller.h"

#include <QCoreApplication>
#include <QFile>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include "base/errors.h"
#include "base/thread.h"

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

QString ErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QStringLiteral("Unknown error");
}

}  // namespace

// What became of the files one run() call handed over.
struct BatchController::Tally {
  int handedOver = 0;
  int ended = 0;
  int failed = 0;
};

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
    run(resumeIndex_);
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
  const auto tally = std::make_shared<Tally>();
  const uint32_t startTick = tickCount();
  int32_t i = startIndex;
  const int32_t iterations = entries_->count() - startIndex;
  for (int32_t n = 0; n < iterations; ++n) {
    if (closeRequested_) break;
    emit entryTaken();
    handOver(i, tally);
    ++i;
    if (!running_) break;
    processMessages();
  }
  resumeIndex_ = i;
  // The activity line tells what became of this call's files, so it waits for their work.
  while (tally->ended < tally->handedOver)
    if (!CheckSynchronize()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  // Unsigned subtraction: right across the tick count's wrap at 2^32.
  const double seconds = static_cast<uint32_t>(tickCount() - startTick) / 1000.0;
  QString activity = QStringLiteral("File activity: %1/%2 files processed")
                         .arg(i - startIndex)
                         .arg(entries_->count());
  if (tally->failed > 0) activity += QStringLiteral(", %1 failed").arg(tally->failed);
  emit runEnded(activity + QStringLiteral(". Time: %1 secs").arg(FormatSeconds(seconds)));
  if (i == entries_->count()) {
    resumeIndex_ = 0;
    setState(running_, false, false);
  }
}

void BatchController::handOver(int32_t index, const std::shared_ptr<Tally>& tally) {
  if (index < 0 || index >= entries_->count())
    throw ListIndexError(Format("List index out of bounds (%d)", index));
  QListWidgetItem* const item = entries_->item(index);
  if (item->data(kEntryIdRole).isNull()) item->setData(kEntryIdRole, ++lastEntryId_);
  // Runs on this thread once the job's work has run (or failed). The job deletes it on its own
  // thread, so it holds nothing that only this thread may touch.
  JobEnded ended = [self = QPointer<BatchController>(this), index,
                    entryId = item->data(kEntryIdRole).toULongLong(),
                    tally](const std::exception_ptr& error) {
    ++tally->ended;
    if (error) ++tally->failed;
    try {
      if (self)
        emit self->entryEnded(index, entryId, bool(error), error ? ErrorMessage(error) : QString());
    } catch (...) {
      // A mark that cannot be drawn must not turn the file's outcome into another one.
    }
  };
  startJob_(QFile::encodeName(item->text()).toStdString(), std::move(ended));
  ++tally->handedOver;
}

}  // namespace tessane
