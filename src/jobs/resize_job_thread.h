#pragma once
// The resize job as the window runs it: a worker thread that hands its work to the UI thread.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "base/thread.h"
#include "jobs/memory_budget.h"
#include "jobs/resize_job.h"

namespace tessane {

/// Created suspended (allocate with NewThread): the owner sets OnWorkEnded, then calls Start().
/// Deletes itself when the work has run; the work's errors end the job without a message
/// unless OnWorkEnded reports them. The window works one file at a time, so each job holds the
/// default memory budget alone: a picture that needs more fails without being decoded.
class ResizeJobThread : public Thread {
 public:
  explicit ResizeJobThread(ResizeRequest request);

  /// Called on the UI thread when the work has run: with nullptr on success, with the work's
  /// error otherwise. Set before Start().
  std::function<void(std::exception_ptr)> on_work_ended;

 protected:
  void Execute() override;

 private:
  MemoryBudget budget_;
  ResizeJob work_;
};

}  // namespace tessane
