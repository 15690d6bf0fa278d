#include "base/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/byte_order.h"
#include "base/cancel.h"
#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

int64_t ByteStream::Size() {
  const int64_t here = Position();
  const int64_t end = Seek(0, SeekOrigin::kEnd);
  Seek(here, SeekOrigin::kBegin);
  return end;
}

int64_t ByteStream::Remaining() {
  const int64_t left = Size() - Position();
  return left > 0 ? left : 0;
}

std::string StreamErrorText(const char* what, int code) {
  return code == 0 ? std::string(what) : std::string(what) + ": " + SysErrorMessage(code);
}

void ByteStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw StreamReadError(StreamErrorText("Stream read error", LastError()));
}

void ByteStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw StreamWriteError(StreamErrorText("Stream write error", LastError()));
}

std::vector<uint8_t> ByteStream::ReadAll() {
  const size_t total = static_cast<size_t>(Remaining());
  std::vector<uint8_t> out;
  out.reserve(total);
  // A piece at a time, so that a large file's memory is not cleared in one go before it is read,
  // and a stop of the work (see FileStream::Read) is honoured between the pieces.
  constexpr size_t kPiece = size_t{8} << 20;
  while (out.size() < total) {
    const size_t at = out.size();
    out.resize(at + std::min(kPiece, total - at));
    ReadBuffer(out.data() + at, out.size() - at);
  }
  return out;
}

uint8_t ByteStream::ReadByte() {
  uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

uint16_t ByteStream::ReadUInt16LE() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return LoadLe16(b);
}

uint32_t ByteStream::ReadUInt32LE() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return LoadLe32(b);
}

uint16_t ByteStream::ReadUInt16BE() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return LoadBe16(b);
}

uint32_t ByteStream::ReadUInt32BE() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return LoadBe32(b);
}

namespace {
int64_t NonNegative(int64_t target) { return target < 0 ? 0 : target; }

int64_t SeekTarget(int64_t offset, SeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case SeekOrigin::kBegin: return NonNegative(offset);
    case SeekOrigin::kCurrent: return NonNegative(position + offset);
    case SeekOrigin::kEnd: return NonNegative(size + offset);
  }
  return position;
}
}  // namespace

size_t MemoryStream::Read(void* buffer, size_t count) {
  // A read of nothing may come with a null buffer (an empty vector's data()).
  if (count == 0 || position_ >= data_.size()) return 0;
  const size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

size_t MemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = static_cast<size_t>(SeekTarget(offset, origin, static_cast<int64_t>(position_),
                                             static_cast<int64_t>(data_.size())));
  return static_cast<int64_t>(position_);
}

size_t ReadOnlyMemoryStream::Read(void* buffer, size_t count) {
  if (count == 0 || position_ >= size_) return 0;
  const size_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

size_t ReadOnlyMemoryStream::Write(const void*, size_t) { return 0; }

int64_t ReadOnlyMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = static_cast<size_t>(SeekTarget(offset, origin, static_cast<int64_t>(position_),
                                             static_cast<int64_t>(size_)));
  return static_cast<int64_t>(position_);
}

namespace {
const char* FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "folder";
  if (S_ISFIFO(mode)) return "named pipe";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISSOCK(mode)) return "socket";
  return "special file";
}
}  // namespace

int OpenRegularFile(const std::string& path, std::string& reason) {
  struct stat st;
  // Checked by name first, so that a device is not even opened.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    reason = Format("Not a regular file (%s)", FileKind(st.st_mode));
    return -1;
  }
  // O_NONBLOCK: a FIFO put in the file's place meanwhile must not block the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    reason = SysErrorMessage(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    reason = SysErrorMessage(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = Format("Not a regular file (%s)", FileKind(st.st_mode));
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

FileStream::FileStream(const std::string& path, FileMode mode) {
  if (mode == FileMode::kOpenRead) {
    std::string reason;
    fd_ = OpenRegularFile(path, reason);
    if (fd_ < 0)
      throw FileOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(path).c_str(),
                               reason.c_str()));
  } else {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
      throw FileCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(path).c_str(),
                                 SysErrorMessage(errno).c_str()));
  }
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void FileStream::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw StreamWriteError(StreamErrorText("Stream write error", errno));
}

size_t FileStream::Read(void* buffer, size_t count) {
  // A large read goes in pieces, between which a stop of the work is honoured.
  constexpr size_t kPiece = size_t{8} << 20;
  size_t done = 0;
  error_ = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    ThrowIfCancelled();
    const ssize_t n = ::read(fd_, out + done, std::min(count - done, kPiece));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t FileStream::Write(const void* buffer, size_t count) {
  size_t done = 0;
  error_ = 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, in + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    // A write that moves nothing means the device is full.
    if (n <= 0) error_ = n < 0 ? errno : ENOSPC;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
                     : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                     : SEEK_END;
  const off_t at = ::lseek(fd_, offset, whence);
  return at < 0 ? ::lseek(fd_, 0, SEEK_CUR) : at;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  FileStream file(path, FileMode::kOpenRead);
  return file.ReadAll();
}

}  // namespace tessane
