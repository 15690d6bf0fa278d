// The WebP reader's peak, from the container's chunks before the first frame's data.

#include <cstring>

#include "base/byte_order.h"
#include "formats/decode_need.h"

namespace tessane {

namespace {

struct Frame {
  int64_t width = 0;
  int64_t height = 0;
  bool lossless = false;
};

// The sides of a frame's bitstream (its first bytes after the chunk header).
bool ReadBitstreamSize(const uint8_t* fourcc, const std::vector<uint8_t>& data, Frame& frame) {
  if (std::memcmp(fourcc, "VP8 ", 4) == 0 && data.size() >= 10) {
    frame.width = LoadLe16(data.data() + 6) & 0x3FFF;
    frame.height = LoadLe16(data.data() + 8) & 0x3FFF;
    return true;
  }
  if (std::memcmp(fourcc, "VP8L", 4) == 0 && data.size() >= 5 && data[0] == 0x2F) {
    const uint32_t bits = LoadLe32(data.data() + 1);
    frame.width = (bits & 0x3FFF) + 1;
    frame.height = ((bits >> 14) & 0x3FFF) + 1;
    frame.lossless = true;
    return true;
  }
  return false;
}

}  // namespace

std::optional<DecodeNeed> WebpDecodeNeed(ByteStream& stream, int64_t file_size) {
  const std::vector<uint8_t> head = ReadHead(stream, 12);
  if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 ||
      std::memcmp(head.data() + 8, "WEBP", 4) != 0)
    return std::nullopt;
  DecodeNeed need;
  Frame frame;
  bool canvas = false;
  for (int guard = 0; guard < 64; ++guard) {
    const std::vector<uint8_t> chunk = ReadHead(stream, 8);
    if (chunk.size() < 8) break;
    const uint32_t size = LoadLe32(chunk.data() + 4);
    const std::vector<uint8_t> data = ReadHead(stream, std::min<uint32_t>(size, 48));
    const int64_t rest = int64_t{size} + (size & 1) - static_cast<int64_t>(data.size());
    if (std::memcmp(chunk.data(), "VP8X", 4) == 0 && data.size() >= 10) {
      need.width = (data[4] | data[5] << 8 | data[6] << 16) + 1;
      need.height = (data[7] | data[8] << 8 | data[9] << 16) + 1;
      canvas = true;
    } else if (std::memcmp(chunk.data(), "ANMF", 4) == 0 && data.size() >= 24) {
      // A frame: its own header, then its bitstream's chunk.
      std::vector<uint8_t> inner(data.begin() + 24, data.end());
      if (!ReadBitstreamSize(data.data() + 16, inner, frame)) {
        frame.width = (data[6] | data[7] << 8 | data[8] << 16) + 1;
        frame.height = (data[9] | data[10] << 8 | data[11] << 16) + 1;
        frame.lossless = true;
      }
      break;
    } else if (ReadBitstreamSize(chunk.data(), data, frame)) {
      break;
    }
    stream.Seek(rest, SeekOrigin::kCurrent);
  }
  if (!canvas) {
    need.width = frame.width;
    need.height = frame.height;
  }
  if (need.width <= 0 || need.height <= 0) return std::nullopt;
  // The file's bytes and the canvas the frame decodes into; libwebp's own buffers for the
  // frame: its YUV planes and a few rows for lossy data, whole ARGB planes for lossless ones.
  const int64_t frame_pixels = frame.width * frame.height;
  need.fixed =
      file_size + (frame.lossless ? 9 : 3) * frame_pixels + 64 * frame.width + (int64_t{1} << 20);
  need.per_pixel = 4;
  need.hands_over_pixels = true;
  return need;
}

}  // namespace tessane
