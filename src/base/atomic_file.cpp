#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

namespace {

// Tries at one free temporary name before giving up; each try is a fresh random name.
constexpr int kTempNameTries = 100;

constexpr char kTempPrefix[] = ".tessane-";
constexpr size_t kRandomLetters = 6;

// ".tessane-", the process id, "-" and six random letters. The id lets a later run tell the
// temporaries of a killed process from those of one still writing, and remove them.
std::string RandomTempName() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[kRandomLetters];
  if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    // No entropy yet (early boot): the counter and clock still make clashes rare, and a clash
    // only costs another try.
    static std::atomic<unsigned> counter{0};
    const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u + counter++ * 40503u +
                          static_cast<unsigned>(::clock());
    for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(seed >> (i * 5));
  }
  std::string name = kTempPrefix + std::to_string(::getpid()) + "-";
  for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return name;
}

int OpenFolder(const std::string& target) {
  const std::string folder = ExtractFilePath(target);
  const char* path = folder.empty() ? "." : folder.c_str();
  // Read access is needed to flush the folder; a folder that only allows writing and searching
  // still takes new files.
  int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd;
}

// The process id of a temporary's name; 0 when the name is no temporary of ours.
pid_t TempOwner(const char* name) {
  const size_t prefix = sizeof kTempPrefix - 1;
  if (std::strncmp(name, kTempPrefix, prefix) != 0) return 0;
  const char* p = name + prefix;
  pid_t pid = 0;
  const char* digits = p;
  for (; *p >= '0' && *p <= '9' && p - digits < 10; ++p) pid = pid * 10 + (*p - '0');
  if (p == digits || *p != '-' || std::strlen(p + 1) != kRandomLetters) return 0;
  return pid;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = TempOwner(entry->d_name);
    if (owner <= 0 || owner == self) continue;
    // A process that still runs may still commit it; one that is gone never will.
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(dir);
}

AtomicFile::AtomicFile(std::string target, bool unnamed) : target_(std::move(target)) {
  dir_ = OpenFolder(target_);
  if (dir_ < 0) Fail(target_, errno);
  int fd = -1;
  errno = EOPNOTSUPP;
  if (unnamed) fd = ::openat(dir_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // This file system cannot make unnamed files.
    for (int i = 0; i < kTempNameTries && fd < 0; ++i) {
      const std::string name = RandomTempName();
      fd = ::openat(dir_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) temp_ = name;
      else if (errno != EEXIST) break;
    }
  }
  if (fd < 0) {
    const int code = errno;
    ::close(dir_);
    Fail(target_, code);
  }
  stream_ = std::make_unique<FileStream>(fd);
}

AtomicFile::~AtomicFile() {
  stream_.reset();  // an unnamed file vanishes with its last descriptor
  if (!committed_ && !temp_.empty()) ::unlinkat(dir_, temp_.c_str(), 0);
  ::close(dir_);
}

void AtomicFile::Fail(const std::string& target, int code) const {
  throw FileCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(target).c_str(),
                             SysErrorMessage(code).c_str()));
}

void AtomicFile::CloseData() {
  stream_->Close();
}

void AtomicFile::Flush() {
  int fd = stream_->Handle();
  // The temporary's data were closed by a claim that lost its name: reopened to be flushed.
  const int reopened = fd < 0 ? ::openat(dir_, temp_.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) fd = reopened;
  const int rc = ::fsync(fd);
  const int code = errno;
  if (reopened >= 0) ::close(reopened);
  if (rc != 0) throw StreamWriteError(StreamErrorText("Stream write error", code));
  // A folder opened only for searching cannot be flushed; the file's own data are safe anyway.
  ::fsync(dir_);
}

// Gives the unnamed file the name `name` in the folder; false when the name is taken.
bool AtomicFile::LinkData(const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(stream_->Handle());
  int rc = ::linkat(AT_FDCWD, self.c_str(), dir_, name.c_str(), AT_SYMLINK_FOLLOW);
  if (rc != 0 && errno == ENOENT)  // /proc is not mounted
    rc = ::linkat(stream_->Handle(), "", dir_, name.c_str(), AT_EMPTY_PATH);
  if (rc == 0) return true;
  if (errno == EEXIST) return false;
  Fail(ExtractFilePath(target_) + name, errno);
}

void AtomicFile::Commit() {
  const std::string leaf = ExtractFileName(target_);
  struct stat st;
  if (::fstatat(dir_, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
      CommitAs(target_))
    return;
  // Something is there: it is replaced by a rename, once the new data are on the disk.
  Flush();
  if (temp_.empty()) {
    std::string name;
    for (int i = 0; i < kTempNameTries && name.empty(); ++i) {
      name = RandomTempName();
      if (!LinkData(name)) name.clear();
    }
    if (name.empty()) Fail(target_, EEXIST);
    temp_ = name;
    ::fsync(dir_);
  }
  try {
    CloseData();
  } catch (...) {
    ::unlinkat(dir_, temp_.c_str(), 0);
    temp_.clear();
    throw;
  }
  if (::renameat(dir_, temp_.c_str(), dir_, leaf.c_str()) != 0) {
    const int code = errno;
    ::unlinkat(dir_, temp_.c_str(), 0);
    temp_.clear();
    Fail(target_, code);
  }
  committed_ = true;
}

bool AtomicFile::CommitAs(const std::string& target) {
  const std::string leaf = ExtractFileName(target);
  if (temp_.empty()) {
    if (!LinkData(leaf)) return false;
    committed_ = true;
    target_ = target;
    try {
      CloseData();
    } catch (...) {
      // The data did not reach the disk: the name just given must not stay.
      ::unlinkat(dir_, leaf.c_str(), 0);
      throw;
    }
    return true;
  }
  CloseData();
  int rc = ::renameat2(dir_, temp_.c_str(), dir_, leaf.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // File systems without RENAME_NOREPLACE: a hard link fails just as atomically on a taken name.
    rc = ::linkat(dir_, temp_.c_str(), dir_, leaf.c_str(), 0);
    if (rc == 0) ::unlinkat(dir_, temp_.c_str(), 0);
  }
  if (rc != 0) {
    if (errno == EEXIST) return false;
    Fail(target, errno);
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
