#include "jobs/tessane_thread.h"

namespace tessane {

tTessaneThrd::tTessaneThrd(std::string sourceName, std::string destName, uint8_t sizeMode,
                           uint8_t filter, int32_t size)
    : TThread(true), work_(std::move(sourceName), std::move(destName), sizeMode, filter, size) {}

void tTessaneThrd::Execute() {
  Synchronize([this] {
    // Copied here, on the UI thread, where the options were written.
    work_.FCrop = FCrop;
    work_.FOverwrite = FOverwrite;
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
