#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdio.h>
#include <vector>

#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

namespace {
mode_t CurrentUmask() {
  // Read from /proc rather than with umask(), which would change it for every thread meanwhile.
  static const mode_t mask = [] {
    mode_t m = 022;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
      char line[256];
      unsigned value;
      while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Umask: %o", &value) == 1) m = static_cast<mode_t>(value);
      std::fclose(f);
    }
    return m;
  }();
  return mask;
}
}  // namespace

TAtomicFile::TAtomicFile(std::string target) : target_(std::move(target)) {
  std::string pattern =
      ExtractFilePath(target_) + "." + ExtractFileName(target_) + ".tessane-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(target_).c_str(),
                               SysErrorMessage(errno).c_str()));
  temp_.assign(name.data());
  ::fchmod(fd, 0666 & ~CurrentUmask());
  stream_ = std::make_unique<TFileStream>(fd);
}

TAtomicFile::~TAtomicFile() {
  stream_.reset();
  if (!committed_) ::unlink(temp_.c_str());
}

void TAtomicFile::CloseData() {
  if (closed_) return;
  stream_->Close();
  closed_ = true;
}

void TAtomicFile::Commit() {
  CloseData();
  if (::rename(temp_.c_str(), target_.c_str()) != 0)
    throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(target_).c_str(),
                               SysErrorMessage(errno).c_str()));
  committed_ = true;
}

bool TAtomicFile::CommitAs(const std::string& target) {
  CloseData();
  int rc = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // File systems without RENAME_NOREPLACE: a hard link fails just as atomically on a taken name.
    rc = ::link(temp_.c_str(), target.c_str());
    if (rc == 0) ::unlink(temp_.c_str());
  }
  if (rc != 0) {
    if (errno == EEXIST) return false;
    throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(target).c_str(),
                               SysErrorMessage(errno).c_str()));
  }
  target_ = target;
  committed_ = true;
  return true;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

}  // namespace tessane
