#pragma once
// Where a run's sources come from beyond its arguments (--files-from), and which of them a
// re-run leaves alone (--skip-existing).

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace tessane::cli {

/// The paths listed in `file` ("-": standard input), one a line or, with nulSeparated, ended by
/// NUL bytes; empty entries are passed over, and a line's trailing carriage return is not part
/// of its path. The list is read as it comes, a piece at a time, and nothing that could not be a
/// path is kept: an entry of PATH_MAX bytes or more, a NUL byte inside a line, or more than
/// kMaxEmptyRun empty entries in a row (so that /dev/zero ends too) throw FileSystemError naming
/// the line. A raised `stop` ends the reading with the paths read so far, between two pieces and
/// while it waits for a pipe. Throws FileSystemError with the system's reason when the list cannot
/// be read.
std::vector<std::string> ReadPathList(const std::string& file, bool nulSeparated,
                                      const std::atomic<bool>& stop);

/// The most empty entries (blank lines) a list may hold in a row.
inline constexpr size_t kMaxEmptyRun = 4096;

/// What stands at an output's name for --skip-existing, which takes a regular file there for the
/// source's own output.
enum class ExistingOutput {
  kNone,      // nothing: the output is written
  kUpToDate,  // a file not older than the source (make's rule; --keep-date's outputs count)
  kOlder,     // a file older than the source: replaced under its name
  kSource,    // the source itself
  kFolder,    // anything else is no output and stays: a folder,
  kLink,      // a symbolic link (one that points nowhere too),
  kOther      // or some other kind of file
};
ExistingOutput ExistingOutputOf(const std::string& source, const std::string& output);

/// True when ExistingOutputOf gives kUpToDate.
bool OutputUpToDate(const std::string& source, const std::string& output);

}  // namespace tessane::cli
