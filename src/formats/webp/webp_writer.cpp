#include "formats/webp/webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/output_pixels.h"

namespace tessane {

namespace {

const char* EncodingErrorText(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "bad picture size";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "picture too large for one partition";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "file too big";
    default: return "encoding failed";
  }
}

struct PictureDeleter {
  void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};
struct MemoryWriterDeleter {
  void operator()(WebPMemoryWriter* writer) const { WebPMemoryWriterClear(writer); }
};
struct MuxDeleter {
  void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};
struct DataDeleter {
  void operator()(WebPData* data) const { WebPDataClear(data); }
};

void SetChunk(WebPMux* mux, const char fourcc[4], const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  const WebPData data{bytes.data(), bytes.size()};
  if (WebPMuxSetChunk(mux, fourcc, &data, 0) != WEBP_MUX_OK)
    throw InvalidImageError("WebP error: cannot add the metadata");
}

}  // namespace

void EncodeWebp(const DibImage& bitmap, const WebpOptions& options, ByteStream& out) {
  const OutputPixels pixels = PixelsForOutput(bitmap);
  if (pixels.argb.empty()) throw InvalidImageError("WebP error: empty picture");
  if (pixels.width > WEBP_MAX_DIMENSION || pixels.height > WEBP_MAX_DIMENSION)
    throw InvalidImageError(Format("WebP error: the picture (%d x %d) is larger than WebP allows "
                                 "(%d pixels a side)",
                                 pixels.width, pixels.height, WEBP_MAX_DIMENSION));

  WebPConfig config;
  if (!WebPConfigInit(&config)) throw InvalidImageError("WebP error: library version mismatch");
  config.quality = static_cast<float>(options.quality);
  config.lossless = options.lossless ? 1 : 0;

  WebPPicture picture_data;
  if (!WebPPictureInit(&picture_data)) throw InvalidImageError("WebP error: library version mismatch");
  const std::unique_ptr<WebPPicture, PictureDeleter> picture(&picture_data);
  picture->width = pixels.width;
  picture->height = pixels.height;
  // Lossless coding works on ARGB; lossy coding converts to YUV(A) on import.
  picture->use_argb = options.lossless ? 1 : 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(pixels.argb.data());
  const int stride = pixels.width * 4;
  const int imported = pixels.has_alpha ? WebPPictureImportBGRA(picture.get(), bytes, stride)
                                        : WebPPictureImportBGRX(picture.get(), bytes, stride);
  if (!imported) throw InvalidImageError("WebP error: out of memory");

  WebPMemoryWriter writer_data;
  WebPMemoryWriterInit(&writer_data);
  const std::unique_ptr<WebPMemoryWriter, MemoryWriterDeleter> writer(&writer_data);
  picture->writer = WebPMemoryWrite;
  picture->custom_ptr = writer.get();
  if (!WebPEncode(&config, picture.get()))
    throw InvalidImageError(std::string("WebP error: ") + EncodingErrorText(picture->error_code));

  if (options.exif.empty() && options.icc.empty() && options.xmp.empty()) {
    out.WriteBuffer(writer->mem, writer->size);
    return;
  }
  const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
  if (!mux) throw InvalidImageError("WebP error: out of memory");
  const WebPData image{writer->mem, writer->size};
  if (WebPMuxSetImage(mux.get(), &image, 0) != WEBP_MUX_OK)
    throw InvalidImageError("WebP error: cannot add the metadata");
  SetChunk(mux.get(), "ICCP", options.icc);
  SetChunk(mux.get(), "EXIF", options.exif);
  SetChunk(mux.get(), "XMP ", options.xmp);
  WebPData assembled_data;
  WebPDataInit(&assembled_data);
  const std::unique_ptr<WebPData, DataDeleter> assembled(&assembled_data);
  if (WebPMuxAssemble(mux.get(), assembled.get()) != WEBP_MUX_OK)
    throw InvalidImageError("WebP error: cannot add the metadata");
  out.WriteBuffer(assembled->bytes, assembled->size);
}

}  // namespace tessane
