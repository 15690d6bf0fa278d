// The PNG reader's peak, from the signature and the header chunk.

#include <cstring>

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> PngDecodeNeed(ByteStream& stream, int64_t file_size) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const std::vector<uint8_t> head = ReadHead(stream, 8 + 8 + 13);
  if (head.size() < 29 || std::memcmp(head.data(), kSignature, 8) != 0 ||
      std::memcmp(head.data() + 12, "IHDR", 4) != 0)
    return std::nullopt;
  const uint8_t* ihdr = head.data() + 16;
  DecodeNeed need;
  need.width = LoadBe32(ihdr);
  need.height = LoadBe32(ihdr + 4);
  const int bits = ihdr[8];
  const uint8_t colour = ihdr[9];
  const int channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  const double raw_per_pixel = bits * channels / 8.0;
  // The file's bytes are held while its chunks are split out of them (the image data moves
  // within the same buffer); the whole decoding holds the inflated rows beside the pixels.
  need.fixed = file_size + 8 * need.width + (int64_t{1} << 16);
  need.per_pixel = 4 + raw_per_pixel + 0.5;
  need.hands_over_pixels = true;  // the filter byte of each row counts in the half
  // Rows come out of the inflater one by one: the file's bytes and a few rows.
  need.rows = file_size + 32 * need.width + (int64_t{1} << 16);
  return need;
}

}  // namespace tessane
