#include "jobs/run_files.h"

#include <sys/stat.h>

#include "base/atomic_file.h"
#include "base/errors.h"

namespace tessane {

bool RunFiles::IdOf(const std::string& path, FileId& id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

void RunFiles::AddSource(const std::string& path) {
  FileId id;
  if (!IdOf(path, id)) return;
  std::lock_guard lock(mutex_);
  sources_.insert(id);
}

void RunFiles::AddProtected(const std::string& path) {
  FileId id;
  if (!IdOf(path, id)) return;
  std::lock_guard lock(mutex_);
  protected_.insert(id);
}

bool RunFiles::Protects(const std::string& path) const {
  FileId id;
  if (!IdOf(path, id)) return false;
  std::lock_guard lock(mutex_);
  return sources_.count(id) > 0 || protected_.count(id) > 0;
}

bool RunFiles::CheckOutput(const std::string& output, const std::string& source) const {
  FileId id;
  if (!IdOf(output, id)) return false;  // nothing there yet, or a dangling link: no file of ours
  FileId own{};
  // Whether or not the batch's sources were recorded, the output's own source is one of them.
  if (IdOf(source, own) && id == own) {
    if (!replace_own_source_) throw FileSystemError(refusal_);
    return true;
  }
  std::lock_guard lock(mutex_);
  if (protected_.count(id) > 0 || sources_.count(id) > 0) throw FileSystemError(refusal_);
  return false;
}

unsigned long RunFiles::FirstNumber(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto it = next_number_.find(name);
  return it == next_number_.end() ? 0 : it->second;
}

void RunFiles::Claimed(const std::string& name, unsigned long number) {
  std::lock_guard lock(mutex_);
  unsigned long& next = next_number_[name];
  next = std::max(next, number + 1);
}

void RunFiles::TidyFolder(const std::string& folder) {
  {
    std::lock_guard lock(mutex_);
    if (!tidied_.insert(folder).second) return;
  }
  RemoveStaleTemporaries(folder);
}

}  // namespace tessane
