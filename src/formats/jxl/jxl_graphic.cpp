#include "formats/jxl/jxl_graphic.h"

#include <jxl/decode.h>

#include <memory>
#include <string>
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

// Whether the colour encoding the pixels come in is plain sRGB, which needs no profile.
bool IsSrgb(JxlDecoder* dec) {
  JxlColorEncoding encoding;
  if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) !=
      JXL_DEC_SUCCESS)
    return false;
  return encoding.white_point == JXL_WHITE_POINT_D65 &&
         encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
         (encoding.color_space == JXL_COLOR_SPACE_GRAY ||
          (encoding.color_space == JXL_COLOR_SPACE_RGB &&
           encoding.primaries == JXL_PRIMARIES_SRGB));
}

// The metadata box being read: its contents grow in steps until the box ends.
class BoxReader {
 public:
  // Starts on a box of interest ("Exif", "xml "); others are skipped.
  void Start(JxlDecoder* dec) {
    Finish(dec);
    JxlBoxType type;
    if (JxlDecoderGetBoxType(dec, type, JXL_TRUE) != JXL_DEC_SUCCESS) return;
    const std::string name(type, 4);
    if (name != "Exif" && name != "xml ") return;
    name_ = name;
    bytes_.assign(kStep, 0);
    JxlDecoderSetBoxBuffer(dec, bytes_.data(), bytes_.size());
  }
  // The buffer was too small: it grows, up to a bound far beyond real metadata.
  bool More(JxlDecoder* dec) {
    if (name_.empty()) return true;
    const size_t left = JxlDecoderReleaseBoxBuffer(dec);
    const size_t used = bytes_.size() - left;
    if (bytes_.size() >= kMaxBytes) return false;
    bytes_.resize(bytes_.size() * 2);
    return JxlDecoderSetBoxBuffer(dec, bytes_.data() + used, bytes_.size() - used) ==
           JXL_DEC_SUCCESS;
  }
  // The box ended (another event came): its contents go into the facts.
  void Finish(JxlDecoder* dec) {
    if (name_.empty()) return;
    bytes_.resize(bytes_.size() - JxlDecoderReleaseBoxBuffer(dec));
    if (name_ == "Exif" && exif.empty())
      exif = std::move(bytes_);
    else if (name_ == "xml " && xmp.empty())
      xmp = std::move(bytes_);
    name_.clear();
    bytes_.clear();
  }

  std::vector<uint8_t> exif;  // the box's contents: a 4-byte offset, then the TIFF structure
  std::vector<uint8_t> xmp;

 private:
  static constexpr size_t kStep = 4096;
  static constexpr size_t kMaxBytes = size_t{16} << 20;
  std::string name_;
  std::vector<uint8_t> bytes_;
};

// The TIFF structure of an Exif box, after the offset that leads to it.
std::vector<uint8_t> TiffOfExifBox(const std::vector<uint8_t>& box) {
  if (box.size() < 4) return {};
  const size_t offset = size_t{box[0]} << 24 | size_t{box[1]} << 16 | size_t{box[2]} << 8 | box[3];
  if (offset >= box.size() - 4) return {};
  return std::vector<uint8_t>(box.begin() + 4 + static_cast<ptrdiff_t>(offset), box.end());
}

}  // namespace

void JxlGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  std::unique_ptr<JxlDecoder, DecoderDestroy> decoder(JxlDecoderCreate(nullptr));
  if (!decoder) Fail(kLabel, "out of memory");
  JxlDecoder* dec = decoder.get();
  if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                         JXL_DEC_FULL_IMAGE | JXL_DEC_BOX) != JXL_DEC_SUCCESS ||
      JxlDecoderSetDecompressBoxes(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec, bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
    Fail(kLabel, "decoder set-up failed");
  // The input is left open: a file that ends too early then asks for more instead of failing
  // as damaged, and says so.

  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  RowSink sink;
  std::vector<uint8_t> profile;
  BoxReader boxes;
  bool srgb = false;
  bool sized = false;
  bool complete = false;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
    if (status == JXL_DEC_BOX_NEED_MORE_OUTPUT) {
      if (!boxes.More(dec)) Fail(kLabel, "metadata box too large");
      continue;
    }
    boxes.Finish(dec);
    if (status == JXL_DEC_BOX) {
      boxes.Start(dec);
      continue;
    }
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
      srgb = IsSrgb(dec);
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
  if (!srgb) SetIccFacts(facts_, std::move(profile));
  SetExifFacts(facts_, TiffOfExifBox(boxes.exif));
  SetXmpFacts(facts_, boxes.xmp);
  // The header's orientation is applied while decoding; an EXIF one only describes the stored
  // pixels.
  facts_.orientation_applied = true;
}

}  // namespace tessane
