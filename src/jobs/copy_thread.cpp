#include "jobs/copy_thread.h"

namespace tessane {

tCopyThrd::tCopyThrd(std::string sourceName, std::string destName, int32_t bufferSize,
                     bool overwrite)
    : TThread(false), TCopyWork(std::move(sourceName), std::move(destName), bufferSize, overwrite) {
  Start();
}

void tCopyThrd::Execute() {
  Synchronize([this] { CopyFileData(); });
}

}  // namespace tessane
