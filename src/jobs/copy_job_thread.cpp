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
      if (OnWorkEnded) OnWorkEnded(std::current_exception());
      throw;
    }
    if (OnWorkEnded) OnWorkEnded(nullptr);
  });
}

}  // namespace tessane
