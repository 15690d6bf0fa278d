#include "jobs/copy_job.h"

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
#include "jobs/run_files.h"
#include "jobs/unique_file_name.h"

namespace tessane {

namespace {

constexpr int32_t kDefaultBufferSize = 8192;
// A size typed past the box's range must not allocate without bound.
constexpr int32_t kMaxBufferSize = 16 << 20;

// Only regular files are copied: a FIFO with a picture's name must neither block the UI thread
// nor be read for ever, and a device is not even opened.
std::unique_ptr<FileStream> OpenSource(const std::string& source, struct stat& st) {
  std::string reason;
  const int fd = OpenRegularFile(source, reason);
  if (fd < 0)
    throw FileOpenError(Format("Error: Can't open source file![%s] %s", source.c_str(), reason.c_str()));
  auto stream = std::make_unique<FileStream>(fd);
  ::fstat(fd, &st);
  return stream;
}

bool SameFile(const struct stat& a, const std::string& path) {
  struct stat b;
  return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

[[noreturn]] void ThrowDeleteError(const std::string& dest) {
  throw FileSystemError(Format("Error: Unable to delete file.[%s]", dest.c_str()));
}

// Reads until the buffer is full or the file ends; a failed read is an error, not an end.
size_t ReadChunk(int fd, uint8_t* buffer, size_t size, const std::string& source) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw StreamReadError(Format("Error: Can't read source file![%s] %s", source.c_str(),
                              SysErrorMessage(errno).c_str()));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void WriteChunk(FileStream& out, const uint8_t* buffer, size_t size, const std::string& dest) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(out.Handle(), buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw StreamWriteError(Format("Error: Can't write destination file![%s] %s", dest.c_str(),
                               SysErrorMessage(n < 0 ? errno : ENOSPC).c_str()));
    done += static_cast<size_t>(n);
  }
}

// The cause after an StreamError's "Cannot create file "x". " or "Stream write error: ".
std::string CauseOf(const StreamError& e) {
  const std::string text = e.what();
  for (const char* mark : {"\". ", ": "}) {
    const size_t at = text.rfind(mark);
    if (at != std::string::npos) return text.substr(at + std::char_traits<char>::length(mark));
  }
  return {};
}

}  // namespace

mode_t CopiedPermissions(mode_t sourceMode, uid_t sourceOwner, gid_t sourceGroup, uid_t copyOwner,
                         gid_t copyGroup) {
  mode_t mode = sourceMode & 07777;
  // As cp -p: a set-id bit stays only where the copy keeps the owner it speaks for, so that a
  // copy made by someone else (root above all) never runs with rights its owner did not give.
  if (sourceOwner != copyOwner) mode &= ~mode_t{S_ISUID | S_ISGID};
  if (sourceGroup != copyGroup) mode &= ~mode_t{S_ISGID};
  return mode;
}

void CopyJob::CopyFileData() {
  const int32_t bufferSize =
      buffer_size <= 0 ? kDefaultBufferSize : std::min(buffer_size, kMaxBufferSize);
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(bufferSize));

  struct stat sourceStat;
  std::unique_ptr<FileStream> source = OpenSource(source_name, sourceStat);

  const std::string original = dest_name;
  if (overwrite) {
    // Replacing is the rename at the end; the source itself and read-only files are never
    // replaced, nor any other file the batch must keep.
    if (run_files) run_files->CheckOutput(dest_name, source_name);
    if (FileExists(dest_name) && (SameFile(sourceStat, dest_name) || IsReadOnlyFile(dest_name)))
      ThrowDeleteError(dest_name);
  } else {
    dest_name = UniqueFileName(original, run_files.get());
  }

  if (run_files) run_files->TidyFolder(ExtractFilePath(dest_name));
  std::unique_ptr<AtomicFile> copy;
  try {
    copy = std::make_unique<AtomicFile>(dest_name);
  } catch (const StreamError& e) {
    throw FileCreateError(Format("Error: Can't create destination file![%s] %s", dest_name.c_str(),
                               CauseOf(e).c_str()));
  }

  for (;;) {
    if (cancel && cancel->load()) throw AbortError("Interrupted");
    const size_t n =
        ReadChunk(source->Handle(), buffer.get(), static_cast<size_t>(bufferSize), source_name);
    if (n > 0) WriteChunk(copy->Stream(), buffer.get(), n, dest_name);
    if (n < static_cast<size_t>(bufferSize)) break;
  }

  const int out = copy->Stream().Handle();
  if (copy_times) {
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out, times);
  }
  if (copy_attrs) {
    struct stat copyStat;
    if (::fstat(out, &copyStat) == 0)  // a failure is ignored
      ::fchmod(out, CopiedPermissions(sourceStat.st_mode, sourceStat.st_uid, sourceStat.st_gid,
                                      copyStat.st_uid, copyStat.st_gid));
  }

  if (cancel && cancel->load()) throw AbortError("Interrupted");
  try {
    if (overwrite) {
      const bool replacesSource = run_files && run_files->CheckOutput(dest_name, source_name);
      copy->Commit();
      if (replacesSource) run_files->AddSource(dest_name);
    } else {
      dest_name = CommitUnique(*copy, original, run_files.get());
    }
  } catch (const StreamWriteError& e) {
    throw StreamWriteError(Format("Error: Can't write destination file![%s] %s", dest_name.c_str(),
                             CauseOf(e).c_str()));
  } catch (const StreamError& e) {
    throw FileCreateError(Format("Error: Can't create destination file![%s] %s", dest_name.c_str(),
                               CauseOf(e).c_str()));
  }
}

}  // namespace tessane
