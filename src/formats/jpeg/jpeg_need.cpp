// The JPEG reader's peak, from the frame header.

#include "formats/decode_need.h"

namespace tessane {

std::optional<DecodeNeed> JpegDecodeNeed(ByteStream& stream, int64_t file_size) {
  uint8_t mark[2];
  if (stream.Read(mark, 2) != 2 || mark[0] != 0xFF || mark[1] != 0xD8) return std::nullopt;
  // Segments up to the frame header; the metadata before it is skipped, not read.
  for (int guard = 0; guard < 4096; ++guard) {
    uint8_t m[4];
    if (stream.Read(m, 2) != 2) return std::nullopt;
    if (m[0] != 0xFF) return std::nullopt;
    if (m[1] == 0xFF) {  // fill bytes
      stream.Seek(-1, SeekOrigin::kCurrent);
      continue;
    }
    if (stream.Read(m + 2, 2) != 2) return std::nullopt;
    const int length = m[2] << 8 | m[3];
    if (length < 2) return std::nullopt;
    const uint8_t marker = m[1];
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame) {
      stream.Seek(length - 2, SeekOrigin::kCurrent);
      continue;
    }
    const std::vector<uint8_t> sof = ReadHead(stream, 6);
    if (sof.size() < 6) return std::nullopt;
    DecodeNeed need;
    need.height = sof[1] << 8 | sof[2];
    need.width = sof[3] << 8 | sof[4];
    const int components = sof[5];
    const bool multi_scan = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    // The file's bytes stay with the graphic; libjpeg works on a few rows of blocks, except
    // that a progressive file keeps every coefficient of the full picture (2 bytes each,
    // chroma counted at full resolution to stay on the safe side).
    need.fixed =
        file_size + int64_t{64} * need.width * std::max(components, 1) + (int64_t{1} << 20);
    if (multi_scan) need.fixed += int64_t{2} * need.width * need.height * std::max(components, 1);
    need.per_pixel = 3.1;  // the 24-bit bitmap at the decoding scale, rows padded
    need.dct_scaled = true;
    return need;
  }
  return std::nullopt;
}

}  // namespace tessane
