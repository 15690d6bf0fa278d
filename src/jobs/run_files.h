#pragma once
// What the outputs of one batch share: the files none of them may replace (the batch's sources
// and its report), the number each numbered name goes on from, and the folders already rid of
// the temporaries that killed processes left behind.

#include <sys/types.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace tessane {

/// Why an output was refused: it is a file of the batch that must stay.
inline constexpr char kReplacesSourceMessage[] =
    "The output would replace its own source file; --in-place allows that";

class RunFiles {
 public:
  /// `replace_own_source`: an output may replace the very source it is made from (never
  /// another source, never the report). `refusal`: the message of a refused output.
  explicit RunFiles(bool replace_own_source = false, std::string refusal = kReplacesSourceMessage)
      : replace_own_source_(replace_own_source), refusal_(std::move(refusal)) {}
  RunFiles(const RunFiles&) = delete;
  RunFiles& operator=(const RunFiles&) = delete;

  /// A source of the batch; a path that cannot be examined protects nothing.
  void AddSource(const std::string& path);
  /// A file that is no source but must not be replaced by an output (the report).
  void AddProtected(const std::string& path);
  /// True when `path`, links followed, is a source or protected file of the batch.
  bool Protects(const std::string& path) const;

  /// Throws FileSystemError (the refusal message) when `output`, links followed, is a file of
  /// the batch: a source other than `source`, the report, or `source` itself unless the batch
  /// allows that. True when it is `source` itself, allowed: the file that replaces it is to be
  /// added as a source in its turn (AddSource), so that no other output replaces it.
  bool CheckOutput(const std::string& output, const std::string& source) const;

  /// The number the search for a free name made from `name` starts from (0: the name itself).
  unsigned long FirstNumber(const std::string& name) const;
  /// `number` of `name` was claimed: the next search starts after it.
  void Claimed(const std::string& name, unsigned long number);

  /// Removes from `folder` the hidden temporaries of processes that no longer run, once per
  /// folder and batch.
  void TidyFolder(const std::string& folder);

 private:
  using FileId = std::pair<dev_t, ino_t>;
  static bool IdOf(const std::string& path, FileId& id);

  const bool replace_own_source_;
  const std::string refusal_;
  mutable std::mutex mutex_;
  std::set<FileId> sources_;
  std::set<FileId> protected_;
  std::map<std::string, unsigned long> next_number_;
  std::set<std::string> tidied_;
};

}  // namespace tessane
