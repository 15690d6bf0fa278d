// The JPEG XL reader's peak, from the basic information libjxl reads off the first bytes.

#include <jxl/decode.h>

#include <memory>

#include "formats/decode_need.h"

namespace tessane {

namespace {
struct DecoderDestroy {
  void operator()(JxlDecoder* p) const { JxlDecoderDestroy(p); }
};
}  // namespace

std::optional<DecodeNeed> JxlDecodeNeed(ByteStream& stream, int64_t file_size) {
  // The size header lies in the first bytes of the codestream; a container may put boxes of
  // metadata before it, so a generous head is read.
  const std::vector<uint8_t> head = ReadHead(stream, size_t{1} << 18);
  std::unique_ptr<JxlDecoder, DecoderDestroy> decoder(JxlDecoderCreate(nullptr));
  if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), head.data(), head.size()) != JXL_DEC_SUCCESS)
    return std::nullopt;
  if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO) return std::nullopt;
  JxlBasicInfo info;
  if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) return std::nullopt;
  DecodeNeed need;
  need.width = info.xsize;
  need.height = info.ysize;
  // libjxl decodes into planes of 32-bit floats, one per channel and extra channel, and keeps
  // a frame's worth of them beside its group caches; the graphic holds 32-bit pixels. About
  // 19 bytes a pixel were measured for 8-bit RGB pictures; some encodings have been seen to
  // take nearly 50, which this allows for.
  const int64_t channels = 3 + info.num_extra_channels;
  need.fixed = file_size + (int64_t{16} << 20);
  need.per_pixel = 4 + 16.0 * static_cast<double>(channels);
  need.hands_over_pixels = true;
  return need;
}

}  // namespace tessane
