#pragma once
// Where a run's sources come from beyond its arguments (--files-from), and which of them a
// re-run leaves alone (--skip-existing).

#include <istream>
#include <string>
#include <vector>

namespace tessane::cli {

/// The paths listed in `file` ("-": `standardInput`), one a line or, with nulSeparated, ended by
/// NUL bytes; empty entries are passed over, and a line's trailing carriage return is not part
/// of its path. Throws FileSystemError with the system's reason when the list cannot be read.
std::vector<std::string> ReadPathList(const std::string& file, bool nulSeparated,
                                      std::istream& standardInput);

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
