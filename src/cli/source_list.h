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

/// True when `output` exists (a file, or a link to one, other than the source itself) and its
/// modification time is not before the source's: the same rule as make's, so outputs that took
/// their source's time with --keep-date count as done too.
bool OutputUpToDate(const std::string& source, const std::string& output);

}  // namespace tessane::cli
