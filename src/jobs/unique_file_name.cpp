#include "jobs/unique_file_name.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/paths.h"
#include "jobs/run_files.h"

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

namespace {

std::string Numbered(const std::string& path, unsigned long n) {
  if (n == 0) return path;
  return ChangeFileExt(path, Format("[%lu]%s", n, ExtractFileExt(path).c_str()));
}

// The first free name from number `first` on (0: the path itself), and its number.
std::pair<std::string, unsigned long> FreeName(const std::string& path, unsigned long first) {
  for (unsigned long n = first; n <= kMaxNumber; ++n) {
    const std::string candidate = Numbered(path, n);
    if (StateOf(candidate) != NameState::Taken) return {candidate, n};
  }
  NoFreeName(path);
}

}  // namespace

std::string UniqueFileName(const std::string& path, const RunFiles* run) {
  return FreeName(path, run ? run->FirstNumber(path) : 0).first;
}

std::string CommitUnique(AtomicFile& file, const std::string& original, RunFiles* run) {
  for (int i = 0; i < kClaimTries; ++i) {
    const auto [name, number] = FreeName(original, run ? run->FirstNumber(original) : 0);
    if (file.CommitAs(name)) {
      if (run) run->Claimed(original, number);
      return name;
    }
    // Taken by another writer since it was found free: the search goes on after it.
    if (run) run->Claimed(original, number);
  }
  NoFreeName(original);
}

}  // namespace tessane
