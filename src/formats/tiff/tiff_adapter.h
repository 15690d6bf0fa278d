#pragma once
// The one place that talks to libtiff's I/O and message hooks: a TIFF handle over bytes in
// memory whose errors and warnings are collected instead of printed.

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct tiff TIFF;

namespace tessane {

/// Opens the bytes (which must outlive the object) for reading with libtiff. Handle() is null
/// when libtiff refused the data; Error() then holds libtiff's first complaint. libtiff never
/// allocates more than a bounded block at once through this handle.
class TiffMemoryReader {
 public:
  TiffMemoryReader(const uint8_t* data, size_t size);
  ~TiffMemoryReader();
  TiffMemoryReader(const TiffMemoryReader&) = delete;
  TiffMemoryReader& operator=(const TiffMemoryReader&) = delete;

  TIFF* Handle() const { return tiff_; }
  /// libtiff's first error message ("" when none).
  const std::string& Error() const { return error_; }

  /// The bytes and the read position, as libtiff's I/O callbacks see them.
  struct Source {
    const uint8_t* data;
    uint64_t size;
    uint64_t position;
  };
  /// Records one libtiff error message (the first one is kept).
  void NoteError(const std::string& message) {
    if (error_.empty()) error_ = message;
  }

 private:
  Source source_;
  std::string error_;
  TIFF* tiff_ = nullptr;
};

}  // namespace tessane
