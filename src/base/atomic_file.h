#pragma once
// Outputs are never written in place: the data go to a file without a name (O_TMPFILE) in the
// target's folder, which is linked into place only when complete, so a failure, a crash or a kill
// leaves neither a partial file nor a damaged old one. Replacing an existing file needs a name to
// rename from: the finished data get a hidden temporary name (".tessane-PID-XXXXXX") just
// before the rename, as they do from the start where the file system cannot make unnamed files.
// A temporary that a killed process left behind is removed by RemoveStaleTemporaries.

#include <memory>
#include <string>

#include "base/stream.h"

namespace tessane {

class AtomicFile {
 public:
  /// Creates the unnamed (or temporary) file in the folder of `target` ("Cannot create file
  /// "%s". %s" on failure, naming the target). `unnamed` false goes straight to the hidden
  /// temporary, as on a file system without unnamed files.
  explicit AtomicFile(std::string target, bool unnamed = true);
  /// Discards the data unless a commit succeeded.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  FileStream& Stream() { return *stream_; }
  const std::string& Target() const { return target_; }
  /// Puts the data at the target, replacing whatever file or link is there. An existing file is
  /// replaced only after the data and the folder have been flushed to the disk, so a power cut
  /// leaves the old file or the new one, never an empty one.
  void Commit();
  /// Puts the data at `target` (in the same folder) only if nothing at all exists there (a
  /// folder or a dangling link counts too); returns false, keeping the data for another try,
  /// when the name is taken. The claim is atomic: two writers never get the same name.
  bool CommitAs(const std::string& target);
  /// True when the data live in an unnamed file (nothing visible until the commit).
  bool Unnamed() const { return temp_.empty(); }

 private:
  std::string target_;
  int dir_ = -1;      // the target's folder
  std::string temp_;  // the hidden temporary's name in that folder, empty for an unnamed file
  std::unique_ptr<FileStream> stream_;
  bool committed_ = false;

  bool LinkData(const std::string& name);
  void CloseData();
  void Flush();
  [[noreturn]] void Fail(const std::string& target, int code) const;
};

/// Removes from `folder` the hidden temporaries whose process no longer runs (left by a kill
/// between naming the data and the rename). Anything else, and what cannot be removed, stays.
void RemoveStaleTemporaries(const std::string& folder);

/// True when the owner may not write the file: such a file is never deleted or replaced.
bool IsReadOnlyFile(const std::string& path);

}  // namespace tessane
