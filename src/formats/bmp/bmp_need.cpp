// The bitmap reader's peak, from the info header.

#include <cstdlib>

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> BmpDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 14 + 16);
  if (head.size() < 26 || head[0] != 'B' || head[1] != 'M') return std::nullopt;
  const uint32_t header_size = LoadLe32(head.data() + 14);
  DecodeNeed need;
  int bits = 24;
  if (header_size == 12) {  // OS/2 core header
    need.width = LoadLe16(head.data() + 18);
    need.height = LoadLe16(head.data() + 20);
    bits = LoadLe16(head.data() + 24);
  } else if (head.size() >= 30) {
    need.width = std::llabs(static_cast<int32_t>(LoadLe32(head.data() + 18)));
    need.height = std::llabs(static_cast<int32_t>(LoadLe32(head.data() + 22)));
    bits = LoadLe16(head.data() + 28);
  } else {
    return std::nullopt;
  }
  // The file's bytes, and the bitmap at its own depth (run-length data expands into it); the
  // reader may widen a depth it does not keep to 32 bits.
  need.fixed = file_size + (int64_t{1} << 16);
  need.per_pixel = bits > 24 ? 4 : bits > 8 ? 4 : 1.1;
  return need;
}

}  // namespace tessane
