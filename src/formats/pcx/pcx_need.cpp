// The PCX reader's peak, from its fixed header.

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> PcxDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 128);
  if (head.size() < 128 || head[0] != 10) return std::nullopt;
  DecodeNeed need;
  need.width = int64_t{LoadLe16(head.data() + 8)} - LoadLe16(head.data() + 4) + 1;
  need.height = int64_t{LoadLe16(head.data() + 10)} - LoadLe16(head.data() + 6) + 1;
  if (need.width <= 0 || need.height <= 0) return std::nullopt;
  // The file's bytes, a decoded row and the bitmap (at most 32 bits a pixel).
  need.fixed = file_size + 16 * need.width + (int64_t{1} << 16);
  need.per_pixel = 4;
  return need;
}

}  // namespace tessane
