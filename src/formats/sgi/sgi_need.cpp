// The SGI reader's peak, from its fixed header.

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> SgiDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 12);
  if (head.size() < 12 || LoadBe16(head.data()) != 474) return std::nullopt;
  DecodeNeed need;
  need.width = LoadBe16(head.data() + 6);
  need.height = LoadBe16(head.data() + 8);
  // The file's bytes, the run-length tables, a row of each channel and the bitmap.
  need.fixed = file_size + 8 * need.height * 4 + 16 * need.width + (int64_t{1} << 16);
  need.per_pixel = 4;
  return need;
}

}  // namespace tessane
