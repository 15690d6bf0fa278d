#pragma once
// The fast copy job's work, free of threading: one file copied byte for byte. The window runs it
// through CopyJobThread on the UI thread; tessane-cli runs it on its own worker threads.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace tessane {

/// One file's buffered copy. The copy is written to a temporary sibling and renamed into place
/// only when complete, so a failure never leaves a partial file or a damaged old one.
class CopyJob {
 public:
  CopyJob() = default;
  /// Inputs as the batch controller hands them over.
  CopyJob(std::string sourceName, std::string destName, int32_t bufferSize, bool overwrite)
      : source_name(std::move(sourceName)),
        dest_name(std::move(destName)),
        buffer_size(bufferSize),
        overwrite(overwrite) {}

  std::string source_name;
  std::string dest_name;    // replaced by the numbered free name when taken and !overwrite
  int32_t buffer_size = 0;  // bytes per read; 0 or less means 8192
  bool overwrite = false;  // replace an existing destination (never a read-only one)
  bool copy_attrs = false;  // give the copy the source's permission bits (see CopiedPermissions)
  bool copy_times = false;  // give the copy the source's modification and access times
  /// When set and raised, the copy stops between two buffers with AbortError, leaving nothing.
  const std::atomic<bool>* cancel = nullptr;

  /// Copies source_name to dest_name. Errors (FileOpenError, FileSystemError, FileCreateError,
  /// StreamReadError, StreamWriteError, AbortError) leave the disk as it was.
  void CopyFileData();
};

/// The permission bits a copy gets with copy_attrs: the source's, except that set-user-id and
/// set-group-id stay only when the copy has the source's owner (and, for set-group-id, its
/// group) - the rule of `cp -p`.
mode_t CopiedPermissions(mode_t sourceMode, uid_t sourceOwner, gid_t sourceGroup, uid_t copyOwner,
                         gid_t copyGroup);

}  // namespace tessane
