// The Photoshop reader's peak, from its file header.

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> PsdDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 26);
  if (head.size() < 26 || std::memcmp(head.data(), "8BPS", 4) != 0) return std::nullopt;
  DecodeNeed need;
  const int64_t channels = LoadBe16(head.data() + 12);
  need.height = LoadBe32(head.data() + 14);
  need.width = LoadBe32(head.data() + 18);
  const int64_t depth = LoadBe16(head.data() + 22);
  // The file's bytes, the merged image's channel planes and the bitmap.
  need.fixed = file_size + (int64_t{1} << 16);
  need.per_pixel =
      4 + static_cast<double>(std::min<int64_t>(channels, 56) * std::max<int64_t>(depth, 8)) / 8;
  return need;
}

}  // namespace tessane
