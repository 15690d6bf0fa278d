#include "formats/webp/webp_graphic.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace tessane {


namespace {

constexpr const char* kLabel = "WebP";

struct DemuxDelete {
  void operator()(WebPDemuxer* p) const { WebPDemuxDelete(p); }
};

// The first frame's iterator, released with the object.
class FirstFrame {
 public:
  explicit FirstFrame(const WebPDemuxer* demux) {
    std::memset(&it_, 0, sizeof it_);
    found_ = WebPDemuxGetFrame(demux, 1, &it_) != 0;
  }
  ~FirstFrame() {
    if (found_) WebPDemuxReleaseIterator(&it_);
  }
  FirstFrame(const FirstFrame&) = delete;
  FirstFrame& operator=(const FirstFrame&) = delete;

  bool Found() const { return found_; }
  const WebPIterator* operator->() const { return &it_; }

 private:
  WebPIterator it_;
  bool found_ = false;
};

// The payload of the first chunk named `fourcc`, or nothing.
std::vector<uint8_t> ChunkBytes(const WebPDemuxer* demux, const char* fourcc) {
  WebPChunkIterator chunk;
  std::memset(&chunk, 0, sizeof chunk);
  if (!WebPDemuxGetChunk(demux, fourcc, 1, &chunk)) return {};
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
  } catch (...) {
    WebPDemuxReleaseChunkIterator(&chunk);
    throw;
  }
  WebPDemuxReleaseChunkIterator(&chunk);
  return bytes;
}

const char* StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "damaged bitstream";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "truncated data";
    default: return "decoding failed";
  }
}

}  // namespace

void WebpGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  // The demuxer checks the container and every chunk size against the data; a truncated file
  // stops here, before anything is allocated for its pixels.
  const WebPData data{bytes.data(), bytes.size()};
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemuxPartial(&data, &state));
  if (!demux || state == WEBP_DEMUX_PARSE_ERROR) Fail(kLabel, "damaged container");
  if (state != WEBP_DEMUX_DONE) Fail(kLabel, StatusText(VP8_STATUS_NOT_ENOUGH_DATA));

  const int64_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const int64_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  const FirstFrame frame(demux.get());
  if (!frame.Found() || !frame->complete) Fail(kLabel, "no complete frame");
  if (frame->x_offset < 0 || frame->y_offset < 0 || frame->width <= 0 || frame->height <= 0 ||
      frame->x_offset + int64_t{frame->width} > width ||
      frame->y_offset + int64_t{frame->height} > height)
    Fail(kLabel, "frame outside the canvas");

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Fail(kLabel, "library version mismatch");
  const VP8StatusCode features =
      WebPGetFeatures(frame->fragment.bytes, frame->fragment.size, &config.input);
  if (features != VP8_STATUS_OK) Fail(kLabel, StatusText(features));
  if (config.input.width != frame->width || config.input.height != frame->height)
    Fail(kLabel, "frame size differs from its header");

  uint32_t* const canvas = AllocatePixels(width, height, kLabel);
  // The frame decodes straight into its place on the canvas: BGRA bytes are $AARRGGBB words.
  const size_t stride = static_cast<size_t>(width) * 4;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = reinterpret_cast<uint8_t*>(
      canvas + static_cast<size_t>(frame->y_offset) * static_cast<size_t>(width) +
      static_cast<size_t>(frame->x_offset));
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = stride * static_cast<size_t>(frame->height - 1) + size_t{4} * frame->width;
  const VP8StatusCode status = WebPDecode(frame->fragment.bytes, frame->fragment.size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) Fail(kLabel, StatusText(status));

  const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
  if (flags & ICCP_FLAG) SetIccFacts(facts_, ChunkBytes(demux.get(), "ICCP"));
  // Some writers keep the JPEG APP1 identifier in front of the TIFF structure; the facts take
  // either form.
  if (flags & EXIF_FLAG) SetExifFacts(facts_, ChunkBytes(demux.get(), "EXIF"));
  if (flags & XMP_FLAG) SetXmpFacts(facts_, ChunkBytes(demux.get(), "XMP "));
}

}  // namespace tessane
