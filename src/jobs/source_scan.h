#pragma once
// The acceptance routine every path goes through before it reaches a source list: folders are
// scanned, files are admitted when their extension occurs in the picture-format filter text.

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tessane {

/// True when the path is a folder - or does not exist (its scan then finds nothing).
bool IsFolder(const std::string& path);

/// Lower-cased extension (dot included) is a non-empty substring of the lower-cased
/// PictureFilter(). Fills the format registry first when that has not happened yet.
bool AcceptedExtension(const std::string& path);

/// Told about every folder that could not be read (path, the system's reason), including one
/// whose path is too long for the jobs to open its files ("Folder too deep for a path").
using ScanErrorFn = std::function<void(const std::string& path, const std::string& message)>;

/// Folder: ScanFolder; file: add(path) when accepted.
void AddPath(const std::string& path, bool includeSubfolders,
             const std::function<void(const std::string&)>& add,
             const ScanErrorFn& failed = nullptr);

/// Natural name order: runs of digits compare by their value (pic_2 before pic_10), letters
/// without regard to ASCII case; names that still tie compare byte by byte.
bool NaturalNameLess(const std::string& a, const std::string& b);

/// Calls add() for every accepted file of the folder, in natural name order (files and
/// sub-folders together), depth first into sub-folders while includeSubfolders. Names starting with
/// "." are skipped. A folder reached twice in one scan (through a symbolic link) is not entered
/// again, so link loops end; unreadable folders add nothing and are reported through `failed`.
/// Folders are opened relative to their parent, so deep trees are walked whatever their paths'
/// length. A stop of the thread's work (CancelScope) ends the scan with AbortError.
void ScanFolder(const std::string& folder, bool includeSubfolders,
                const std::function<void(const std::string&)>& add,
                const ScanErrorFn& failed = nullptr);

/// Tells the first time a file is reached from the later ones: paths that name one file
/// (device and inode, links followed: a repeated path, a folder and its own sub-folder, a link)
/// count once. A path that cannot be examined always counts as new; its job says why it fails.
class SeenFiles {
 public:
  /// True the first time the file at `path` is asked about.
  bool FirstTime(const std::string& path);

 private:
  std::set<std::pair<dev_t, ino_t>> seen_;
};

/// `paths` without the later ones of those that name one file (SeenFiles); the first of them
/// keeps its place in the order.
std::vector<std::string> WithoutRepeats(const std::vector<std::string>& paths);

}  // namespace tessane
