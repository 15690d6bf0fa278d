#include "jobs/source_scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "formats/registry.h"

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

// One scan's shared state: the filter is built once per scan rather than once per file, and the
// set of folders entered so far keeps symbolic links from leading the scan in circles.
struct Scan {
  bool includeSubfolders;
  const AddFn& add;
  std::string lowerFilter;
  std::set<FolderId> visited;

  void Path(const std::string& path) {
    if (IsFolder(path))
      Folder(path);
    else if (Accepted(path, lowerFilter))
      add(path);
  }

  void Folder(const std::string& folder) {
    std::vector<std::string> names;
    {
      std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
      if (!dir) return;
      struct stat st;
      if (::fstat(::dirfd(dir.get()), &st) != 0) return;
      if (!visited.emplace(st.st_dev, st.st_ino).second) return;
      // Names are collected and the folder closed before descending, so a deep tree never holds
      // more than one directory handle open.
      while (const dirent* entry = ::readdir(dir.get()))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    for (const std::string& name : names) {
      const std::string path = folder + "/" + name;
      if (IsFolder(path)) {
        if (includeSubfolders) Folder(path);
      } else if (Accepted(path, lowerFilter)) {
        add(path);
      }
    }
  }
};

}  // namespace

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode);
}

bool AcceptedExtension(const std::string& path) {
  return Accepted(path, LowerFilter());
}

void AddPath(const std::string& path, bool includeSubfolders, const AddFn& add) {
  Scan scan{includeSubfolders, add, LowerFilter(), {}};
  scan.Path(path);
}

void ScanFolder(const std::string& folder, bool includeSubfolders, const AddFn& add) {
  Scan scan{includeSubfolders, add, LowerFilter(), {}};
  scan.Folder(folder);
}

}  // namespace tessane
