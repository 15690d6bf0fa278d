#include "formats/jxl/jxl_graphic.h"

#include <jxl/decode.h>

#include <memory>
#include <utility>

namespace tessane {


namespace {

constexpr const char* kLabel = "JPEG XL";

struct DecoderDestroy {
  void operator()(JxlDecoder* p) const { JxlDecoderDestroy(p); }
};

// Where the decoder's rows go: RGBA stripes turned into $AARRGGBB words in place. The decoder
// is a C interface, so the callback reports a stripe outside the picture instead of throwing.
struct RowSink {
  uint32_t* pixels = nullptr;
  size_t width = 0;
  size_t height = 0;
  bool out_of_bounds = false;

  static void Put(void* opaque, size_t x, size_t y, size_t num_pixels, const void* data) {
    auto* sink = static_cast<RowSink*>(opaque);
    if (sink->pixels == nullptr || y >= sink->height || x > sink->width ||
        num_pixels > sink->width - x) {
      sink->out_of_bounds = true;
      return;
    }
    const auto* in = static_cast<const uint8_t*>(data);
    uint32_t* out = sink->pixels + y * sink->width + x;
    for (size_t i = 0; i < num_pixels; ++i, in += 4)
      out[i] = uint32_t{in[3]} << 24 | uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
  }
};

}  // namespace

void JxlGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  std::unique_ptr<JxlDecoder, DecoderDestroy> decoder(JxlDecoderCreate(nullptr));
  if (!decoder) Fail(kLabel, "out of memory");
  JxlDecoder* dec = decoder.get();
  if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                         JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec, bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
    Fail(kLabel, "decoder set-up failed");
  JxlDecoderCloseInput(dec);

  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  RowSink sink;
  std::vector<uint8_t> profile;
  bool sized = false;
  bool complete = false;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
    if (status == JXL_DEC_ERROR) Fail(kLabel, "damaged codestream");
    if (status == JXL_DEC_NEED_MORE_INPUT) Fail(kLabel, "truncated data");
    if (status == JXL_DEC_SUCCESS) break;  // ended without a picture: complete stays false
    if (status == JXL_DEC_BASIC_INFO) {
      JxlBasicInfo info;
      if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS) Fail(kLabel, "no image header");
      // The header gives the stored sides; the orientation applied while decoding may swap them.
      int64_t width = info.xsize;
      int64_t height = info.ysize;
      if (info.orientation >= JXL_ORIENT_TRANSPOSE) std::swap(width, height);
      sink.pixels = AllocatePixels(width, height, kLabel);
      sink.width = static_cast<size_t>(width);
      sink.height = static_cast<size_t>(height);
      sized = true;
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      size_t size = 0;
      if (JxlDecoderGetICCProfileSize(dec, &format, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
              JXL_DEC_SUCCESS &&
          size > 0 && size <= bytes.size() + (size_t{1} << 20)) {
        profile.resize(size);
        if (JxlDecoderGetColorAsICCProfile(dec, &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                           profile.data(), size) != JXL_DEC_SUCCESS)
          profile.clear();
      }
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      if (!sized) Fail(kLabel, "no image header");
      if (JxlDecoderSetImageOutCallback(dec, &format, &RowSink::Put, &sink) != JXL_DEC_SUCCESS)
        Fail(kLabel, "unsupported pixel layout");
    } else if (status == JXL_DEC_FULL_IMAGE) {
      complete = true;
      break;  // the first frame is the picture; later ones belong to an animation
    }
  }
  if (!complete || sink.out_of_bounds) Fail(kLabel, "damaged codestream");
  icc_profile_ = std::move(profile);
}

}  // namespace tessane
