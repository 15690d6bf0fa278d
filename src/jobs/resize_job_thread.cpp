#include "jobs/resize_job_thread.h"

namespace tessane {

ResizeJobThread::ResizeJobThread(ResizeRequest request)
    : Thread(true), work_(std::move(request)) {}

void ResizeJobThread::Execute() {
  Synchronize([this] {
    try {
      work_.ProcessFile();
    } catch (...) {
      if (OnWorkEnded) OnWorkEnded(std::current_exception());
      throw;
    }
    if (OnWorkEnded) OnWorkEnded(nullptr);
  });
}

}  // namespace tessane
