#include "jobs/copy_job_thread.h"

namespace tessane {

CopyJobThread::CopyJobThread(CopyRequest request)
    : Thread(false), CopyJob(std::move(request)) {
  Start();
}

void CopyJobThread::Execute() {
  Synchronize([this] {
    try {
      CopyFileData();
    } catch (...) {
      if (on_work_ended) on_work_ended(std::current_exception());
      throw;
    }
    if (on_work_ended) on_work_ended(nullptr);
  });
}

}  // namespace tessane
