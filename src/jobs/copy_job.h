#pragma once
// The fast copy job's work, free of threading: one file copied byte for byte. The window runs it
// through CopyJobThread on the UI thread; tessane-cli runs it on its own worker threads.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "jobs/requests.h"

namespace tessane {

/// One file's buffered copy. The copy is written to a temporary sibling and renamed into place
/// only when complete, so a failure never leaves a partial file or a damaged old one.
class CopyJob : public CopyRequest {
 public:
  explicit CopyJob(CopyRequest request) : CopyRequest(std::move(request)) {}

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
