#include "jobs/copy_thread.h"

namespace tessane {

tCopyThrd::tCopyThrd(std::string sourceName, std::string destName, int32_t bufferSize,
                     bool overwrite)
    : TThread(false), TCopyWork(std::move(sourceName), std::move(destName), bufferSize, overwrite) {
  Start();
}

void tCopyThrd::Execute() {
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
