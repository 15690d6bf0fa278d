#pragma once
// The fast copy job's work, free of threading: one file copied byte for byte. The window runs it
// through tCopyThrd on the UI thread; tessane-cli runs it on its own worker threads.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace tessane {

/// One file's buffered copy. The copy is written to a temporary sibling and renamed into place
/// only when complete, so a failure never leaves a partial file or a damaged old one.
class TCopyWork {
 public:
  TCopyWork() = default;
  /// Inputs as the batch controller hands them over.
  TCopyWork(std::string sourceName, std::string destName, int32_t bufferSize, bool overwrite)
      : FSourceName(std::move(sourceName)),
        FDestName(std::move(destName)),
        FBufferSize(bufferSize),
        FOverwrite(overwrite) {}

  std::string FSourceName;
  std::string FDestName;    // replaced by the numbered free name when taken and !FOverwrite
  int32_t FBufferSize = 0;  // bytes per read; 0 or less means 8192
  bool FOverwrite = false;  // replace an existing destination (never a read-only one)
  bool FCopyAttrs = false;  // give the copy the source's permission bits (see CopiedPermissions)
  bool FCopyTimes = false;  // give the copy the source's modification and access times
  /// When set and raised, the copy stops between two buffers with EAbort, leaving nothing.
  const std::atomic<bool>* FCancel = nullptr;

  /// Copies FSourceName to FDestName. Errors (EFOpenError, EInOutError, EFCreateError,
  /// EReadError, EWriteError, EAbort) leave the disk as it was.
  void CopyFileData();
};

/// The permission bits a copy gets with FCopyAttrs: the source's, except that set-user-id and
/// set-group-id stay only when the copy has the source's owner (and, for set-group-id, its
/// group) - the rule of `cp -p`.
mode_t CopiedPermissions(mode_t sourceMode, uid_t sourceOwner, gid_t sourceGroup, uid_t copyOwner,
                         gid_t copyGroup);

}  // namespace tessane
