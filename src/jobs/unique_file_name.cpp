#include "jobs/unique_file_name.h"

#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

std::string UniqueFileName(const std::string& path) {
  if (!FileExists(path)) return path;
  const std::string ext = ExtractFileExt(path);
  for (unsigned long n = 1;; ++n) {
    const std::string candidate = ChangeFileExt(path, Format("[%lu]%s", n, ext.c_str()));
    if (!FileExists(candidate)) return candidate;
  }
}

}  // namespace tessane
