#include "jobs/resize_job_thread.h"

namespace tessane {

ResizeJobThread::ResizeJobThread(std::string sourceName, std::string destName, uint8_t sizeMode,
                                 Filter filter, int32_t size)
    : Thread(true), work_(std::move(sourceName), std::move(destName), sizeMode, filter, size) {}

void ResizeJobThread::Execute() {
  Synchronize([this] {
    // Copied here, on the UI thread, where the options were written.
    work_.crop = crop;
    work_.overwrite = overwrite;
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
