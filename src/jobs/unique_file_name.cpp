#include "jobs/unique_file_name.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

namespace {

// Beyond these, a name is given up rather than searched for ever.
constexpr unsigned long kMaxNumber = 100000;
constexpr int kClaimTries = 100;

enum class NameState { Free, Taken, Unusable };

NameState StateOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return NameState::Taken;
  return errno == ENOENT ? NameState::Free : NameState::Unusable;
}

[[noreturn]] void NoFreeName(const std::string& path) {
  throw FileCreateError(Format("Cannot create file \"%s\". No free numbered name up to [%lu]",
                             ExpandFileName(path).c_str(), kMaxNumber));
}

}  // namespace

std::string UniqueFileName(const std::string& path) {
  if (StateOf(path) != NameState::Taken) return path;
  const std::string ext = ExtractFileExt(path);
  for (unsigned long n = 1; n <= kMaxNumber; ++n) {
    const std::string candidate = ChangeFileExt(path, Format("[%lu]%s", n, ext.c_str()));
    if (StateOf(candidate) != NameState::Taken) return candidate;
  }
  NoFreeName(path);
}

std::string CommitUnique(AtomicFile& file, const std::string& original) {
  for (int i = 0; i < kClaimTries; ++i) {
    const std::string name = UniqueFileName(original);
    if (file.CommitAs(name)) return name;
  }
  NoFreeName(original);
}

}  // namespace tessane
