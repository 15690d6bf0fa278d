#include "jobs/source_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "base/cancel.h"
#include "base/errors.h"
#include "base/paths.h"
#include "formats/format_registry.h"

namespace tessane {

namespace {

using AddFn = std::function<void(const std::string&)>;
using FolderId = std::pair<dev_t, ino_t>;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string LowerFilter() {
  RegisterStandardFormats();
  return LowerCaseAscii(PictureFilter());
}

bool Accepted(const std::string& path, const std::string& lowerFilter) {
  return ContainsText(lowerFilter, LowerCaseAscii(ExtractFileExt(path)));
}

struct Entry {
  std::string name;
  bool folder;
};

// One scan's shared state: the filter is built once per scan rather than once per file, and the
// set of folders entered so far keeps symbolic links from leading the scan in circles. Folders
// are opened relative to their parent's descriptor, so the walk itself never depends on the
// length of the path; a folder whose path is too long for the jobs to use is reported instead.
struct Scan {
  bool includeSubfolders;
  const AddFn& add;
  const ScanErrorFn& failed;
  std::string lowerFilter;
  std::set<FolderId> visited;

  void Report(const std::string& path, const std::string& message) const {
    if (failed) failed(path, message);
  }

  void Path(const std::string& path) {
    if (IsFolder(path))
      Folder(AT_FDCWD, path, path);
    else if (Accepted(path, lowerFilter))
      add(path);
  }

  // `name` is relative to `parent`; `path` is the same folder as the jobs will see it.
  void Folder(int parent, const std::string& name, const std::string& path) {
    if (path.size() >= PATH_MAX) {
      Report(path, "Folder too deep for a path");
      return;
    }
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      // A path that does not exist counts as a folder with nothing in it.
      if (errno != ENOENT || parent != AT_FDCWD) Report(path, SysErrorMessage(errno));
      return;
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
      const int code = errno;
      ::close(fd);
      Report(path, SysErrorMessage(code));
      return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !visited.emplace(st.st_dev, st.st_ino).second) return;

    std::vector<Entry> entries;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      // A large tree takes a while: a stop of the work that scans it is honoured here.
      ThrowIfCancelled();
      if (entry->d_name[0] == '.') continue;
      bool folder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
        // A link counts as what it points to; a dangling one is nothing at all.
        if (::fstatat(fd, entry->d_name, &st, 0) != 0) continue;
        folder = S_ISDIR(st.st_mode);
      }
      entries.push_back({entry->d_name, folder});
      errno = 0;
    }
    if (errno != 0) Report(path, SysErrorMessage(errno));
    // The file system's own order is arbitrary; numbering and lists follow the names instead.
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return NaturalNameLess(a.name, b.name); });

    // One "/" is put in even after a folder that ends with one, as the list always did.
    const std::string prefix = path + "/";
    for (const Entry& entry : entries) {
      ThrowIfCancelled();
      if (entry.folder) {
        if (includeSubfolders) Folder(fd, entry.name, prefix + entry.name);
      } else if (Accepted(entry.name, lowerFilter)) {
        add(prefix + entry.name);
      }
    }
  }
};

}  // namespace

namespace {

// A run of digits starting at `i`, without its leading zeros.
std::string_view DigitRun(std::string_view text, size_t& i) {
  const size_t start = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  std::string_view run = text.substr(start, i - start);
  while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
  return run;
}

// <0, 0, >0: digit runs by their value, other bytes with ASCII case folded.
int NaturalCompare(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    if (std::isdigit(ca) && std::isdigit(cb)) {
      const std::string_view ra = DigitRun(a, i);
      const std::string_view rb = DigitRun(b, j);
      if (ra.size() != rb.size()) return ra.size() < rb.size() ? -1 : 1;
      if (const int c = ra.compare(rb); c != 0) return c;
      continue;
    }
    const int la = std::tolower(ca), lb = std::tolower(cb);
    if (la != lb) return la < lb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

bool NaturalNameLess(const std::string& a, const std::string& b) {
  const int c = NaturalCompare(a, b);
  // Names equal but for case or leading zeros still get one fixed order.
  return c != 0 ? c < 0 : a < b;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode);
}

bool AcceptedExtension(const std::string& path) {
  return Accepted(path, LowerFilter());
}

void AddPath(const std::string& path, bool includeSubfolders, const AddFn& add,
             const ScanErrorFn& failed) {
  Scan scan{includeSubfolders, add, failed, LowerFilter(), {}};
  scan.Path(path);
}

void ScanFolder(const std::string& folder, bool includeSubfolders, const AddFn& add,
                const ScanErrorFn& failed) {
  Scan scan{includeSubfolders, add, failed, LowerFilter(), {}};
  scan.Folder(AT_FDCWD, folder, folder);
}

bool SeenFiles::FirstTime(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return true;
  return seen_.emplace(st.st_dev, st.st_ino).second;
}

std::vector<std::string> WithoutRepeats(const std::vector<std::string>& paths) {
  SeenFiles seen;
  std::vector<std::string> result;
  for (const std::string& path : paths)
    if (seen.FirstTime(path)) result.push_back(path);
  return result;
}

}  // namespace tessane
