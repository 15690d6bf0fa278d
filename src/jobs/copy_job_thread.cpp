#include "jobs/copy_job_thread.h"

namespace tessane {

CopyJobThread::CopyJobThread(std::string sourceName, std::string destName, int32_t bufferSize,
                     bool overwrite)
    : Thread(false), CopyJob(std::move(sourceName), std::move(destName), bufferSize, overwrite) {
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
