// The HEIF/AVIF reader's peak, from the primary picture's declared size in the 'meta' box.

#include "base/byte_order.h"
#include "formats/decode_need.h"
#include "formats/heif/heif_canvas.h"

namespace tessane {

std::optional<DecodeNeed> HeifDecodeNeed(ByteStream& stream, int64_t file_size) {
  // The top-level boxes are stepped over up to 'meta', which alone is read.
  constexpr uint64_t kMetaLimit = uint64_t{16} << 20;
  int64_t at = 0;
  for (int guard = 0; guard < 64 && at + 8 <= file_size; ++guard) {
    stream.Seek(at, SeekOrigin::kBegin);
    const std::vector<uint8_t> header = ReadHead(stream, 16);
    if (header.size() < 8) break;
    uint64_t size = LoadBe32(header.data());
    if (size == 1 && header.size() == 16) size = LoadBe64(header.data() + 8);
    if (size == 0) size = static_cast<uint64_t>(file_size - at);
    if (size < 8 || size > static_cast<uint64_t>(file_size - at)) break;
    if (LoadBe32(header.data() + 4) == LoadBe32(reinterpret_cast<const uint8_t*>("meta"))) {
      if (size > kMetaLimit) break;
      stream.Seek(at, SeekOrigin::kBegin);
      const std::vector<uint8_t> meta = ReadHead(stream, static_cast<size_t>(size));
      DecodeNeed need;
      if (!DeclaredPrimarySize(meta.data(), meta.size(), need.width, need.height)) break;
      // The file's bytes; the decoder's planes and reference pictures, the RGB picture libheif
      // converts them into, and the graphic's 32-bit pixels.
      need.fixed = file_size + (int64_t{32} << 20);
      need.per_pixel = 16;
      need.hands_over_pixels = true;
      return need;
    }
    at += static_cast<int64_t>(size);
  }
  return std::nullopt;
}

}  // namespace tessane
