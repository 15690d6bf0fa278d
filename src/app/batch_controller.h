#pragma once
// The batch run behind START / PAUSE / CONTINUE / QUIT: hands the list's entries over to their
// jobs one at a time, keeps the tallies and tells the window what happened.

#include <QObject>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class QListWidget;
class QListWidgetItem;

namespace tessane {

/// Runs the entries of a list through their jobs on the UI thread. The list stays the window's:
/// entries may be added or deleted while a run processes messages, and each job's outcome finds
/// its entry again by a number of its own. The work of one file is started by `StartJob`, which
/// the window gives (it reads the options from its controls at each hand-over).
class BatchController : public QObject {
  Q_OBJECT

 public:
  /// Called on this thread once a job's work has run (a null pointer when it succeeded).
  using JobEnded = std::function<void(const std::exception_ptr& error)>;
  /// Starts the work of one source file; `ended` must be called exactly once.
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
  /// A run() call is under way (START during a run nests one).
  bool busy() const { return depth_ > 0; }

  /// The millisecond tick count (wraps at 2^32); replaceable for tests.
  std::function<uint32_t()> tickCount;
  /// The loop's "process pending messages" step; replaceable for tests.
  std::function<void()> processMessages;

  /// START, once the window has checked the list and the destination.
  void start();
  /// PAUSE, or CONTINUE while paused.
  void pauseOrContinue();
  /// QUIT: no further file is handed over; the counters are reset.
  void quit();
  /// QUIT, and closeReady() once every run() under way has returned.
  void quitAndClose();
  /// Hands entries over from `startIndex`, then waits until the work of every file it handed
  /// over has run and reports the activity line with the number that failed, if any.
  void run(int32_t startIndex);

 signals:
  /// A run starts over `files` entries; earlier outcomes no longer hold.
  void runStarted(int files);
  /// The loop took the next entry to hand it over.
  void entryTaken();
  /// active(), paused() or running() changed.
  void stateChanged();
  /// The job of the entry numbered `entryId` (last seen at `rowHint`) ended, with `error` when
  /// it failed.
  void entryEnded(int rowHint, quint64 entryId, bool failed, const QString& error);
  /// A run() call has returned; `activity` is the line that tells what became of its files.
  void runEnded(const QString& activity);
  /// The close asked for during a run may now happen.
  void closeReady();

 private:
  struct Tally;
  void handOver(int32_t index, const std::shared_ptr<Tally>& tally);
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
};

/// The role under which an entry handed over keeps its number.
inline constexpr int kEntryIdRole = Qt::UserRole + 2;

}  // namespace tessane
