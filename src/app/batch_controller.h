#pragma once
// The batch run behind START / PAUSE / CONTINUE / QUIT: hands the list's entries over to their
// jobs one at a time, keeps the batch's tallies and tells the window what happened.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QListWidget;
class QListWidgetItem;

namespace tessane {

/// What became of one file's work.
struct JobOutcome {
  enum class Kind { kWritten, kWrittenWithWarnings, kFailed };
  Kind kind = Kind::kWritten;
  QString message;  // why it failed, or its warnings
};

/// Walks the entries of a list: the UI thread hands one file over, keeps answering while the
/// file's work runs elsewhere, shows its outcome and only then takes the next, so order, names
/// and messages are those of a run of one file after the other. The list stays the window's:
/// entries may be added or deleted meanwhile, and each outcome finds its entry again by a
/// number of its own. The work of one file is started by `StartJob`, which the window gives (it
/// reads the options from its controls at each hand-over).
class BatchController : public QObject {
  Q_OBJECT

 public:
  /// Called on this thread once a job's work has run; exactly once per job.
  using JobEnded = std::function<void(const JobOutcome& outcome)>;
  /// Starts the work of one source file.
  using StartJob = std::function<void(const std::string& source, JobEnded ended)>;

  BatchController(QListWidget* entries, StartJob startJob, QObject* parent = nullptr);

  /// Files are being handed over (false once paused or quit).
  bool running() const { return running_; }
  /// A run exists: PAUSE/CONTINUE and QUIT are enabled.
  bool active() const { return active_; }
  /// The run is paused: the pause button reads CONTINUE.
  bool paused() const { return paused_; }
  /// Where CONTINUE goes on.
  int32_t resumeIndex() const { return resumeIndex_; }
  /// A run() call is under way.
  bool busy() const { return depth_ > 0; }

  /// The batch's tallies since START, across PAUSE, CONTINUE and QUIT.
  int processed() const { return processed_; }
  int failed() const { return failed_; }
  int withWarnings() const { return warned_; }
  /// Working time of the batch's run() calls, in seconds.
  double seconds() const { return elapsedMs_ / 1000.0; }

  /// The millisecond tick count (wraps at 2^32); replaceable for tests.
  std::function<uint32_t()> tickCount;
  /// The loop's "process pending messages" step after each hand-over; replaceable for tests.
  std::function<void()> processMessages;

  /// START, once the window has checked the list and the destination. Does nothing while a
  /// run() call is under way: files go one at a time.
  void start();
  /// PAUSE, or CONTINUE while paused. PAUSE takes effect once the file under way has ended;
  /// CONTINUE before that simply lets the loop go on.
  void pauseOrContinue();
  /// QUIT: no further file is handed over once the one under way has ended.
  void quit();
  /// QUIT, and closeReady() once every run() under way has returned.
  void quitAndClose();
  /// Hands entries over from `startIndex`, each once the previous one's outcome is in, and
  /// reports the activity line with the batch's tallies.
  void run(int32_t startIndex);

 signals:
  /// A run starts over `files` entries; earlier outcomes no longer hold.
  void runStarted(int files);
  /// Entry `index` (the batch's `number`th file of `total`) was handed over.
  void entryTaken(int number, int total, const QString& name);
  /// active(), paused() or running() changed.
  void stateChanged();
  /// The job of the entry numbered `entryId` (last seen at `rowHint`) ended.
  void entryEnded(int rowHint, quint64 entryId, const JobOutcome& outcome);
  /// A run() call has returned; `activity` is the line that tells what became of the batch.
  void runEnded(const QString& activity);
  /// The close asked for during a run may now happen.
  void closeReady();

 private:
  /// Hands entry `index` over; `ended` is set once its outcome is in.
  void handOver(int32_t index, const std::shared_ptr<bool>& ended);
  void setState(bool running, bool active, bool paused);

  QListWidget* entries_;
  StartJob startJob_;
  bool running_ = false;
  bool active_ = false;
  bool paused_ = false;
  int32_t resumeIndex_ = 0;
  int depth_ = 0;
  bool closeRequested_ = false;
  quint64 lastEntryId_ = 0;
  int processed_ = 0;
  int failed_ = 0;
  int warned_ = 0;
  uint64_t elapsedMs_ = 0;
};

/// The role under which an entry handed over keeps its number.
inline constexpr int kEntryIdRole = Qt::UserRole + 2;

}  // namespace tessane
