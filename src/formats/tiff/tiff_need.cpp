// The TIFF reader's peak, from the first directory.

#include <algorithm>

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> TiffDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 8);
  if (head.size() < 8) return std::nullopt;
  const bool little = head[0] == 'I' && head[1] == 'I';
  if (!little && !(head[0] == 'M' && head[1] == 'M')) return std::nullopt;
  auto u16 = [little](const uint8_t* p) { return little ? LoadLe16(p) : LoadBe16(p); };
  auto u32 = [little](const uint8_t* p) { return little ? LoadLe32(p) : LoadBe32(p); };
  if (u16(head.data() + 2) != 42) return std::nullopt;  // BigTIFF goes to libtiff as it is
  const uint32_t ifd = u32(head.data() + 4);
  if (ifd < 8 || ifd >= file_size) return std::nullopt;
  stream.Seek(ifd, SeekOrigin::kBegin);
  const std::vector<uint8_t> count_bytes = ReadHead(stream, 2);
  if (count_bytes.size() < 2) return std::nullopt;
  const std::vector<uint8_t> entries = ReadHead(stream, size_t{12} * u16(count_bytes.data()));
  DecodeNeed need;
  int64_t samples = 1, bits = 8, strips_or_tiles = 1, tile_width = 0, tile_height = 0;
  for (size_t at = 0; at + 12 <= entries.size(); at += 12) {
    const uint8_t* e = entries.data() + at;
    const uint16_t tag = u16(e), type = u16(e + 2);
    const uint32_t count = u32(e + 4);
    const int64_t value = type == 3 ? u16(e + 8) : u32(e + 8);
    switch (tag) {
      case 256:
        need.width = value;
        break;
      case 257:
        need.height = value;
        break;
      case 258:
        bits = type == 3 && count == 1 ? value : bits;
        break;
      case 277:
        samples = value;
        break;
      case 273:
      case 324:
        strips_or_tiles = std::max<int64_t>(strips_or_tiles, count);
        break;
      case 322:
        tile_width = value;
        break;
      case 323:
        tile_height = value;
        break;
      default:
        break;
    }
  }
  if (need.width <= 0 || need.height <= 0) return std::nullopt;
  const int64_t row_bytes = (need.width * samples * std::max<int64_t>(bits, 8) + 7) / 8;
  // The file's bytes, libtiff's strip (or tile) tables and one decoded strip or tile at
  // most the size of the picture, libtiff's 32-bit raster and the graphic's 32-bit bitmap.
  const int64_t piece =
      tile_width > 0 ? (tile_width * tile_height * samples * std::max<int64_t>(bits, 8) + 7) / 8
                     : row_bytes * need.height;
  need.fixed = file_size + 16 * strips_or_tiles + std::min(piece, row_bytes * need.height) +
               (int64_t{1} << 20);
  need.per_pixel = 8;
  return need;
}

}  // namespace tessane
