// The Targa reader's peak, from its fixed header.

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> TgaDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 18);
  if (head.size() < 18) return std::nullopt;
  DecodeNeed need;
  need.width = LoadLe16(head.data() + 12);
  need.height = LoadLe16(head.data() + 14);
  // The file's bytes, and the bitmap (at most 32 bits a pixel).
  need.fixed = file_size + (int64_t{1} << 16);
  need.per_pixel = 4;
  return need;
}

}  // namespace tessane
