#pragma once
// The fast copy job as the window runs it: a worker thread that hands its copy to the UI thread.

#include <exception>
#include <functional>

#include "base/thread.h"
#include "jobs/copy_job.h"

namespace tessane {

/// Starts at once (allocate with NewThread); OnWorkEnded may be set right after construction,
/// since the copy runs only when the UI thread next checks its queue. Deletes
/// itself when the copy has run; the copy's errors end the job without a message unless
/// OnWorkEnded reports them.
class CopyJobThread : public Thread, public CopyJob {
 public:
  explicit CopyJobThread(CopyRequest request);

  /// Called on the UI thread when the copy has run: with nullptr on success, with the copy's
  /// error otherwise.
  std::function<void(std::exception_ptr)> on_work_ended;

 protected:
  void Execute() override;
};

}  // namespace tessane
