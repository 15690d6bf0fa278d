#include "jobs/resize_job_thread.h"

namespace tessane {

ResizeJobThread::ResizeJobThread(ResizeRequest request)
    : Thread(true), budget_(DefaultMemoryBudget()), work_(std::move(request)) {
  work_.budget = &budget_;
}

void ResizeJobThread::Execute() {
  Synchronize([this] {
    try {
      work_.ProcessFile();
    } catch (...) {
      if (on_work_ended) on_work_ended(std::current_exception());
      throw;
    }
    if (on_work_ended) on_work_ended(nullptr);
  });
}

}  // namespace tessane
