#include "formats/jpeg/jpeg_writer.h"

#include <vector>

#include "base/errors.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_codec.h"

namespace tessane {

namespace {

struct ConvertedRows {
  const DibImage* bitmap;
  uint32_t* line;
};

void SourceRow(void* context, int y, uint8_t* rgb) noexcept {
  auto* source = static_cast<ConvertedRows*>(context);
  source->bitmap->ToColor32Row(y, source->line);
  for (int32_t x = 0; x < source->bitmap->Width(); ++x) {
    const uint32_t c = source->line[x];
    rgb[3 * x] = static_cast<uint8_t>(c >> 16);
    rgb[3 * x + 1] = static_cast<uint8_t>(c >> 8);
    rgb[3 * x + 2] = static_cast<uint8_t>(c);
  }
}

const uint8_t* SourceRow32(void* context, int y) noexcept {
  return static_cast<const DibImage*>(context)->ScanLine(y);
}

}  // namespace

void EncodeJpeg(const DibImage& bitmap, const JpegOptions& options, ByteStream& out) {
  if (bitmap.Empty()) return;
  jpeg::EncodeSource source;
  source.width = bitmap.Width();
  source.height = bitmap.Height();
  std::vector<uint32_t> line;
  ConvertedRows rows{&bitmap, nullptr};
  if (bitmap.PixelFormat() == DibFormat::k32Bit) {
    // 32-bit rows (the scaled pictures) need no conversion on our side; the library only reads.
    source.context = const_cast<DibImage*>(&bitmap);
    source.row32 = SourceRow32;
  } else {
    line.resize(static_cast<size_t>(bitmap.Width()));
    rows.line = line.data();
    source.context = &rows;
    source.row = SourceRow;
  }
  jpeg::EncodedBuffer encoded;
  jpeg::Diagnostics diagnostics;
  if (const int code = jpeg::Encode(source, options.quality, encoded, &diagnostics)) {
    if (diagnostics.error[0] == 0) throw InvalidImageError(Format("JPEG error #%d", code));
    throw InvalidImageError(Format("JPEG error #%d: %s", code, diagnostics.error));
  }
  out.WriteBuffer(encoded.data, encoded.size);
}

}  // namespace tessane
