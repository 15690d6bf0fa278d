#pragma once
// Byte streams: the one interface every reader loads from and every writer saves to.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessane {

enum class SeekOrigin { kBegin, kCurrent, kEnd };

/// A seekable sequence of bytes. Read/Write return how many bytes moved; the *Buffer forms
/// throw StreamReadError "Stream read error" / StreamWriteError "Stream write error" on a short transfer,
/// followed by the system's reason when there is one ("Stream write error: No space left on
/// device"); a read that only met the end has none.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  /// The errno of the last Read or Write that stopped short because of an error, else 0.
  virtual int LastError() const { return 0; }

  int64_t Position() { return Seek(0, SeekOrigin::kCurrent); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::kBegin); }
  int64_t Size();
  /// Bytes between the position and the end (0 when past the end).
  int64_t Remaining();

  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  /// Reads everything from the position to the end.
  std::vector<uint8_t> ReadAll();

  uint8_t ReadByte();
  uint16_t ReadUInt16LE();
  uint32_t ReadUInt32LE();
  uint16_t ReadUInt16BE();
  uint32_t ReadUInt32BE();
};

/// A growable stream in memory.
class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t> TakeBytes() { position_ = 0; return std::move(data_); }
  void Clear() { data_.clear(); position_ = 0; }

 private:
  std::vector<uint8_t> data_;
  size_t position_ = 0;
};

/// A read-only view of bytes owned elsewhere (fuzzers and nested formats read through it).
class ReadOnlyMemoryStream : public ByteStream {
 public:
  ReadOnlyMemoryStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

enum class FileMode { kOpenRead, kCreate };

/// Opens a regular file for reading. Anything else (a FIFO, a device, a socket, a folder) is
/// refused at once, without blocking: the name is checked first and the open descriptor again.
/// Returns the descriptor, or -1 with `reason` set ("No such file or directory", "Not a regular
/// file (named pipe)").
int OpenRegularFile(const std::string& path, std::string& reason);

/// A file opened for reading ("Cannot open file "%s". %s"; regular files only, see
/// OpenRegularFile) or created/truncated for writing ("Cannot create file "%s". %s"). The
/// descriptor is closed by the destructor.
class FileStream : public ByteStream {
 public:
  FileStream(const std::string& path, FileMode mode);
  /// Adopts an already open descriptor.
  explicit FileStream(int fd) : fd_(fd) {}
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int LastError() const override { return error_; }
  int Handle() const { return fd_; }
  /// Closes now, reporting a failed close (data not written) as StreamWriteError.
  void Close();

 private:
  int fd_ = -1;
  int error_ = 0;
};

/// "Stream write error" (or the read form) with the system's reason for errno `code` appended.
std::string StreamErrorText(const char* what, int code);

/// Reads a whole file ("Cannot open file ...", "Stream read error").
std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace tessane
