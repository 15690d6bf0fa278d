#pragma once
// The thread that does the window's file work (loading, scaling, writing), so that the UI thread
// only hands files over and shows their outcomes.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tessane {

/// Runs the work handed to it on its own thread, one piece at a time, in the order given.
/// Destroying it lets the piece under way finish, drops the pieces not yet begun and joins.
class FileWorker {
 public:
  FileWorker();
  ~FileWorker();
  FileWorker(const FileWorker&) = delete;
  FileWorker& operator=(const FileWorker&) = delete;

  /// Any thread. `work` must catch its own errors.
  void post(std::function<void()> work);

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace tessane
