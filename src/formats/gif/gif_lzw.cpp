#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "base/errors.h"

namespace tessane {

namespace {
constexpr uint32_t kMaxCodes = 4096;
}  // namespace

void DecodeGifLzw(const uint8_t* data, size_t size, int min_code_size, uint32_t width,
                  uint32_t height, const std::function<void(uint32_t, const uint8_t*)>& on_row) {
  if (width == 0 || height == 0) return;
  const uint32_t clear = 1u << min_code_size;
  const uint32_t end = clear + 1;
  // Each code is a prefix code plus one pixel; length and first pixel make output direct.
  std::array<uint16_t, kMaxCodes> prefix{};
  std::array<uint8_t, kMaxCodes> suffix{};
  std::array<uint8_t, kMaxCodes> first{};
  std::array<uint16_t, kMaxCodes> length{};
  for (uint32_t i = 0; i < clear; ++i) {
    suffix[i] = first[i] = static_cast<uint8_t>(i);
    length[i] = 1;
  }
  std::array<uint8_t, kMaxCodes> string{};
  std::vector<uint8_t> row(width);
  uint32_t x = 0, rows_done = 0;

  int code_bits = min_code_size + 1;
  uint32_t next = clear + 2;
  int32_t previous = -1;
  uint32_t bit_buffer = 0;
  int bit_count = 0;
  size_t pos = 0;
  for (;;) {
    while (bit_count < code_bits && pos < size) {
      bit_buffer |= uint32_t{data[pos++]} << bit_count;
      bit_count += 8;
    }
    if (bit_count < code_bits) throw InvalidImageError("Decoder bit buffer under-run");
    const uint32_t code = bit_buffer & ((1u << code_bits) - 1);
    bit_buffer >>= code_bits;
    bit_count -= code_bits;

    if (code == clear) {
      code_bits = min_code_size + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == end) return;
    if (previous < 0) {
      if (code > clear) throw InvalidImageError("Circular decoder table entry");
    } else {
      if (code > next) throw InvalidImageError("Circular decoder table entry");
      // A full table takes no new strings until the next clear code.
      if (next < kMaxCodes) {
        // For code == next (the string being defined) the new string starts like the previous.
        const uint8_t pixel = code < next ? first[code] : first[previous];
        prefix[next] = static_cast<uint16_t>(previous);
        suffix[next] = pixel;
        first[next] = first[previous];
        length[next] = static_cast<uint16_t>(length[previous] + 1);
        ++next;
        if (next >= (1u << code_bits) && code_bits < 12) ++code_bits;
      }
    }
    previous = static_cast<int32_t>(code);

    uint32_t n = length[code];
    uint32_t c = code;
    for (uint32_t k = n; k-- > 0;) {
      string[k] = suffix[c];
      c = prefix[c];
    }
    const uint8_t* s = string.data();
    while (n > 0) {
      const uint32_t take = std::min(n, width - x);
      std::memcpy(row.data() + x, s, take);
      x += take;
      s += take;
      n -= take;
      if (x == width) {
        on_row(rows_done, row.data());
        x = 0;
        if (++rows_done == height) return;
      }
    }
  }
}

namespace {

/// Packs codes least significant bit first into sub-blocks of up to 255 bytes.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Put(uint32_t code, int bits) {
    accumulator_ |= code << bit_count_;
    bit_count_ += bits;
    while (bit_count_ >= 8) {
      PutByte(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bit_count_ -= 8;
    }
  }

  void Finish() {
    if (bit_count_ > 0) PutByte(static_cast<uint8_t>(accumulator_));
    FlushBlock();
    out_.push_back(0);
  }

 private:
  void PutByte(uint8_t b) {
    block_[block_length_++] = b;
    if (block_length_ == 255) FlushBlock();
  }
  void FlushBlock() {
    if (block_length_ == 0) return;
    out_.push_back(static_cast<uint8_t>(block_length_));
    out_.insert(out_.end(), block_.begin(), block_.begin() + block_length_);
    block_length_ = 0;
  }

  std::vector<uint8_t>& out_;
  std::array<uint8_t, 256> block_{};
  size_t block_length_ = 0;
  uint32_t accumulator_ = 0;
  int bit_count_ = 0;
};

/// Strings of the encoder: (prefix code << 8 | pixel) -> code, open addressing.
class StringTable {
 public:
  static constexpr uint32_t kSize = 8192;  // more than twice the 4096 codes

  StringTable() { Clear(); }
  void Clear() { keys_.fill(-1); }

  /// Slot of `key`: holding it, or the empty slot where it belongs.
  uint32_t Find(int32_t key) const {
    uint32_t slot = (static_cast<uint32_t>(key) * 2654435761u) >> 19;
    while (keys_[slot] != -1 && keys_[slot] != key) slot = (slot + 1) & (kSize - 1);
    return slot;
  }
  bool Holds(uint32_t slot) const { return keys_[slot] != -1; }
  uint16_t Code(uint32_t slot) const { return codes_[slot]; }
  void Put(uint32_t slot, int32_t key, uint32_t code) {
    keys_[slot] = key;
    codes_[slot] = static_cast<uint16_t>(code);
  }

 private:
  std::array<int32_t, kSize> keys_{};
  std::array<uint16_t, kSize> codes_{};
};

}  // namespace

void EncodeGifLzw(const uint8_t* pixels, size_t count, int min_code_size,
                  std::vector<uint8_t>& out) {
  const uint32_t clear = 1u << min_code_size;
  const uint32_t end = clear + 1;
  const int initial_bits = min_code_size + 1;
  CodeWriter writer(out);
  auto table = std::make_unique<StringTable>();
  int code_bits = initial_bits;
  uint32_t next = clear + 2;
  // After a code is written the width grows when the next code to assign needs more bits.
  auto put = [&](uint32_t code) {
    writer.Put(code, code_bits);
    if (next > (1u << code_bits) - 1 && code_bits < 12) ++code_bits;
  };

  writer.Put(clear, code_bits);
  if (count > 0) {
    uint32_t current = pixels[0];
    for (size_t i = 1; i < count; ++i) {
      const uint32_t pixel = pixels[i];
      const int32_t key = static_cast<int32_t>((current << 8) | pixel);
      const uint32_t slot = table->Find(key);
      if (table->Holds(slot)) {
        current = table->Code(slot);
        continue;
      }
      put(current);
      if (next < kMaxCodes - 1) {
        table->Put(slot, key, next++);
      } else {
        // Code 4094 was the last one assigned: start over.
        writer.Put(clear, code_bits);
        table->Clear();
        code_bits = initial_bits;
        next = clear + 2;
      }
      current = pixel;
    }
    put(current);
  }
  writer.Put(end, code_bits);
  writer.Finish();
}

}  // namespace tessane
