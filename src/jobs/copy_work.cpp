#include "jobs/copy_work.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/stream.h"
#include "jobs/unique_file_name.h"

namespace tessane {

namespace {

constexpr int32_t kDefaultBufferSize = 8192;
// A size typed past the box's range must not allocate without bound.
constexpr int32_t kMaxBufferSize = 16 << 20;

[[noreturn]] void ThrowOpenError(const std::string& source) {
  throw EFOpenError(Format("Error: Can't open source file![%s]", source.c_str()));
}

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO with a picture's name from blocking
// the UI thread; anything that is not a regular file is refused.
std::unique_ptr<TFileStream> OpenSource(const std::string& source, struct stat& st) {
  const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowOpenError(source);
  auto stream = std::make_unique<TFileStream>(fd);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) ThrowOpenError(source);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return stream;
}

bool SameFile(const struct stat& a, const std::string& path) {
  struct stat b;
  return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

[[noreturn]] void ThrowDeleteError(const std::string& dest) {
  throw EInOutError(Format("Error: Unable to delete file.[%s]", dest.c_str()));
}

// Reads until the buffer is full or the file ends; a failed read is an error, not an end.
size_t ReadChunk(int fd, uint8_t* buffer, size_t size, const std::string& source) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw EReadError(Format("Error: Can't read source file![%s] %s", source.c_str(),
                              SysErrorMessage(errno).c_str()));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void WriteChunk(TFileStream& out, const uint8_t* buffer, size_t size, const std::string& dest) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(out.Handle(), buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw EWriteError(Format("Error: Can't write destination file![%s] %s", dest.c_str(),
                               SysErrorMessage(n < 0 ? errno : ENOSPC).c_str()));
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void TCopyWork::CopyFileData() {
  const int32_t bufferSize =
      FBufferSize <= 0 ? kDefaultBufferSize : std::min(FBufferSize, kMaxBufferSize);
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(bufferSize));

  struct stat sourceStat;
  std::unique_ptr<TFileStream> source = OpenSource(FSourceName, sourceStat);

  if (FileExists(FDestName)) {
    if (FOverwrite) {
      // Replacing is the rename at the end; the source itself and read-only files are never
      // replaced.
      if (SameFile(sourceStat, FDestName) || IsReadOnlyFile(FDestName)) ThrowDeleteError(FDestName);
    } else {
      FDestName = UniqueFileName(FDestName);
    }
  }

  std::unique_ptr<TAtomicFile> copy;
  try {
    copy = std::make_unique<TAtomicFile>(FDestName);
  } catch (const EStreamError&) {
    throw EFCreateError(Format("Error: Can't create destination file![%s]", FDestName.c_str()));
  }

  for (;;) {
    const size_t n =
        ReadChunk(source->Handle(), buffer.get(), static_cast<size_t>(bufferSize), FSourceName);
    if (n > 0) WriteChunk(copy->Stream(), buffer.get(), n, FDestName);
    if (n < static_cast<size_t>(bufferSize)) break;
  }

  const int out = copy->Stream().Handle();
  if (FCopyTimes) {
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out, times);
  }
  if (FCopyAttrs) ::fchmod(out, sourceStat.st_mode & 07777);  // a failure is ignored

  try {
    if (FOverwrite) {
      copy->Commit();
    } else {
      // Another process may take the free name meanwhile: never replace what it wrote.
      while (!copy->CommitAs(FDestName)) FDestName = UniqueFileName(FDestName);
    }
  } catch (const EWriteError&) {
    throw EWriteError(Format("Error: Can't write destination file![%s]", FDestName.c_str()));
  } catch (const EStreamError&) {
    throw EFCreateError(Format("Error: Can't create destination file![%s]", FDestName.c_str()));
  }
}

}  // namespace tessane
