#pragma once
// Builds the bytes of hand-made test files field by field. Plain names (U16, U32, I32, F32)
// append little-endian fields, the *Be names big-endian ones; every call returns the builder, so
// a header reads as one chain.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/byte_order.h"

namespace tessane::test {

class ByteBuilder {
 public:
  ByteBuilder& U8(uint32_t v) {
    data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  ByteBuilder& U16(uint32_t v) { return Field<StoreLe16>(Low16(v)); }
  ByteBuilder& U32(uint32_t v) { return Field<StoreLe32>(v); }
  ByteBuilder& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  ByteBuilder& F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U32(bits);
  }
  ByteBuilder& U16Be(uint32_t v) { return Field<StoreBe16>(Low16(v)); }
  ByteBuilder& U32Be(uint32_t v) { return Field<StoreBe32>(v); }
  /// Each value as a little-endian 16-bit or 32-bit field.
  ByteBuilder& I16s(std::initializer_list<int32_t> values) {
    for (int32_t v : values) U16(static_cast<uint32_t>(v));
    return *this;
  }
  ByteBuilder& I32s(std::initializer_list<int32_t> values) {
    for (int32_t v : values) I32(v);
    return *this;
  }
  ByteBuilder& Str(std::string_view text) {
    data.insert(data.end(), text.begin(), text.end());
    return *this;
  }
  ByteBuilder& Append(const std::vector<uint8_t>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  /// `count` bytes of `value`.
  ByteBuilder& Fill(size_t count, uint8_t value = 0) {
    data.insert(data.end(), count, value);
    return *this;
  }
  /// Fills up to `size` bytes (nothing when there are as many already).
  ByteBuilder& PadTo(size_t size, uint8_t value = 0) {
    return data.size() < size ? Fill(size - data.size(), value) : *this;
  }

  std::vector<uint8_t> data;

 private:
  static uint16_t Low16(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
  template <auto Store, typename T>
  ByteBuilder& Field(T v) {
    data.resize(data.size() + sizeof v);
    Store(data.data() + data.size() - sizeof v, v);
    return *this;
  }
};

}  // namespace tessane::test
