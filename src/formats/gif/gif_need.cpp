// The GIF reader's peak: the file's bytes and one byte per pixel of each image it keeps,
// found by walking the blocks without decoding them.

#include <algorithm>
#include <cstring>

#include "formats/decode_need.h"

namespace tessane {

namespace {

// Reads the stream in large pieces, so walking many small blocks costs no call per block.
class BlockWalker {
 public:
  explicit BlockWalker(ByteStream& stream) : stream_(stream) {}
  // -1 at the end of the data.
  int Byte() {
    if (at_ == buffer_.size()) {
      buffer_ = ReadHead(stream_, size_t{1} << 16);
      at_ = 0;
      if (buffer_.empty()) return -1;
    }
    return buffer_[at_++];
  }
  bool Skip(size_t n) {
    for (; n > 0; --n)
      if (Byte() < 0) return false;
    return true;
  }
  int Word() {
    const int lo = Byte(), hi = Byte();
    return lo < 0 || hi < 0 ? -1 : lo | hi << 8;
  }
  // Skips a chain of sub-blocks up to its terminator.
  bool SkipSubBlocks() {
    for (int n = Byte(); n != 0; n = Byte()) {
      if (n < 0 || !Skip(static_cast<size_t>(n))) return false;
    }
    return true;
  }

 private:
  ByteStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;
};

}  // namespace

std::optional<DecodeNeed> GifDecodeNeed(ByteStream& stream, int64_t file_size) {
  BlockWalker in(stream);
  char signature[6];
  for (char& c : signature) c = static_cast<char>(in.Byte());
  if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0)
    return std::nullopt;
  DecodeNeed need;
  need.width = in.Word();
  need.height = in.Word();
  const int flags = in.Byte();
  if (need.width < 0 || need.height < 0 || flags < 0 || !in.Skip(2)) return std::nullopt;
  if (flags & 0x80) in.Skip(size_t{3} << ((flags & 7) + 1));
  int64_t images = 0;
  for (int block = in.Byte(); block >= 0 && block != 0x3B; block = in.Byte()) {
    if (block == 0x21) {
      if (in.Byte() < 0 || !in.SkipSubBlocks()) break;
    } else if (block == 0x2C) {
      const int left = in.Word(), top = in.Word(), w = in.Word(), h = in.Word();
      const int image_flags = in.Byte();
      if (image_flags < 0) break;
      if (image_flags & 0x80) in.Skip(size_t{3} << ((image_flags & 7) + 1));
      // The part of the image on the screen is kept.
      const int64_t visible_width = std::clamp<int64_t>(need.width - left, 0, w);
      const int64_t visible_height = std::clamp<int64_t>(need.height - top, 0, h);
      images += visible_width * visible_height;
      if (in.Byte() < 0 || !in.SkipSubBlocks()) break;
    } else {
      break;
    }
  }
  // The file's bytes, each image's indexes and the data of one image gathered for decoding.
  need.fixed = 2 * file_size + images + (int64_t{1} << 16);
  return need;
}

}  // namespace tessane
