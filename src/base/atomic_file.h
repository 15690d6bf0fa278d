#pragma once
// Outputs are never written in place: a temporary sibling receives the data and is renamed over
// the target only when complete, so a failure leaves neither a partial file nor a damaged old one.

#include <memory>
#include <string>

#include "base/stream.h"

namespace tessane {

class TAtomicFile {
 public:
  /// Creates the temporary file beside `target` ("Cannot create file "%s". %s" on failure,
  /// naming the target).
  explicit TAtomicFile(std::string target);
  /// Removes the temporary file unless Commit() succeeded.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  TFileStream& Stream() { return *stream_; }
  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }
  /// Closes the data and renames it over the target (replacing any file there).
  void Commit();
  /// Closes the data and renames it to `target` only if nothing exists there; returns false
  /// (keeping the temporary file for another try) when the name was taken meanwhile.
  bool CommitAs(const std::string& target);

 private:
  std::string target_;
  std::string temp_;
  std::unique_ptr<TFileStream> stream_;
  bool committed_ = false;
  bool closed_ = false;

  void CloseData();
};

/// True when the owner may not write the file: such a file is never deleted or replaced.
bool IsReadOnlyFile(const std::string& path);

}  // namespace tessane
