#pragma once
// A non-owning, bounds-checked window on bytes, for readers that walk a file or a record by
// offsets. Every read outside the view throws ByteRangeError, so a field that lies about a size
// or an offset can never make a reader touch memory past its data.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"

namespace tessane {

/// Thrown by ByteView for a read outside its bytes. A reader that does not catch it fails the
/// way a short stream does ("Stream read error"); the metafile players catch it per record.
class ByteRangeError : public StreamReadError {
 public:
  ByteRangeError() : StreamReadError("Stream read error") {}
};

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  /// True when [offset, offset + length) lies inside the view (no overflow).
  bool Has(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  /// True when `count` items of `item` bytes fit at `offset`.
  bool HasArray(size_t offset, uint64_t count, size_t item) const {
    if (offset > size_) return false;
    return item == 0 || count <= (size_ - offset) / item;
  }
  /// The bytes [offset, offset + length); throws when they do not fit.
  ByteView Sub(size_t offset, size_t length) const {
    Check(offset, length);
    return ByteView(data_ + offset, length);
  }
  /// The bytes from offset to the end (empty when offset is past the end).
  ByteView From(size_t offset) const {
    return offset >= size_ ? ByteView() : ByteView(data_ + offset, size_ - offset);
  }

  uint8_t U8(size_t offset) const {
    Check(offset, 1);
    return data_[offset];
  }
  // Little-endian fields.
  uint16_t U16(size_t offset) const {
    Check(offset, 2);
    return LoadLe16(data_ + offset);
  }
  int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const {
    Check(offset, 4);
    return LoadLe32(data_ + offset);
  }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  float F32(size_t offset) const {
    const uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Big-endian fields.
  uint16_t U16Be(size_t offset) const {
    Check(offset, 2);
    return LoadBe16(data_ + offset);
  }
  uint32_t U32Be(size_t offset) const {
    Check(offset, 4);
    return LoadBe32(data_ + offset);
  }

 private:
  void Check(size_t offset, size_t length) const {
    if (!Has(offset, length)) throw ByteRangeError();
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace tessane
