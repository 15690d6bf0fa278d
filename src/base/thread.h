#pragma once
// Worker threads whose only action is to hand work to the main (UI) thread and wait for it.
// All file work thus runs on the main thread, one piece at a time, interleaved with the UI:
//   - a worker calls Synchronize(work): the request joins the process-wide queue, the wake-up
//     hook is called, and the worker waits until the main thread has run the work;
//   - the main thread runs every pending request, first queued first run, in CheckSynchronize()
//     (the app calls it when the wake-up event arrives and whenever its event loop goes idle).
// An error raised by the work is rethrown on the worker, ends its thread body and is dropped
// with the thread object: it never reaches the main thread's error handling.

#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace tessane {

/// A self-deleting worker thread object. The operating-system thread is created by the
/// constructor, held until Start(); after Execute() returns (or throws) the object deletes
/// itself. A class that starts at once passes createSuspended = false and calls Start() as the
/// last statement of its own constructor (a base constructor cannot start a virtual Execute()
/// safely). Objects must be allocated with NewThread(); from Start() on they own themselves, and
/// a suspended object that is never started may be deleted by its creator.
class Thread {
 public:
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  /// Lets the thread run Execute(). Later calls do nothing.
  void Start();
  bool CreatedSuspended() const { return createSuspended_; }
  /// True once Execute() has returned (the object is about to delete itself).
  bool Finished() const { return finished_; }

 protected:
  /// Creates the thread, held; ThreadError "Thread creation error: %s" when the system refuses.
  explicit Thread(bool createSuspended);
  /// The thread body.
  virtual void Execute() = 0;
  /// Runs `work` on the main thread and waits for it; rethrows the work's error here.
  static void Synchronize(const std::function<void()>& work);

 private:
  struct Gate;
  static void ThreadProc(std::shared_ptr<Gate> gate, Thread* self);

  std::shared_ptr<Gate> gate_;
  bool createSuspended_;
  bool finished_ = false;
  std::exception_ptr fatalException_;  // the error that ended Execute(), never shown
};

/// Allocates a thread object (the only way to make one: it deletes itself once started).
template <class T, class... Args>
T* NewThread(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

/// Runs `work` on the main thread and waits (from the main thread itself: runs it at once).
/// The work's error is rethrown to the caller.
void Synchronize(const std::function<void()>& work);

/// Main thread only: runs every request queued so far, first queued first run; requests queued
/// meanwhile wait for the next call. True when at least one ran. From another thread: ThreadError
/// "CheckSynchronize called from thread $%x, which is NOT the main thread".
bool CheckSynchronize();

/// Installs the function a worker calls (under the queue lock) after queueing a request; it
/// must wake the main thread so that it calls CheckSynchronize() soon. Empty to remove.
void SetWakeMainThread(std::function<void()> wake);

/// True on the thread that started the program.
bool IsMainThread();

/// Started thread objects that have not yet deleted themselves.
int LiveThreadCount();

/// For the end of the program: every request still queued is released without being run (its
/// worker gets ThreadError "Work not run: the program is closing"), as is any request queued until
/// every started thread object has deleted itself, which this waits for. Main thread only.
void AbandonQueuedWork();

}  // namespace tessane
