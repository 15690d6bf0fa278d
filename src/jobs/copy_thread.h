#pragma once
// The fast copy job as the window runs it: a worker thread that hands its copy to the UI thread.

#include "base/thread.h"
#include "jobs/copy_work.h"

namespace tessane {

/// Starts at once (allocate with NewThread); FCopyAttrs and FCopyTimes may be set right after
/// construction, since the copy runs only when the UI thread next checks its queue. Deletes
/// itself when the copy has run; the copy's errors end the job silently.
class tCopyThrd : public TThread, public TCopyWork {
 public:
  tCopyThrd(std::string sourceName, std::string destName, int32_t bufferSize, bool overwrite);

 protected:
  void Execute() override;
};

}  // namespace tessane
