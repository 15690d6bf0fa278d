#include "formats/bmp/bmp_writer.h"

#include <cstring>
#include <vector>

#include "formats/bmp/dib_image.h"

namespace tessane {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsPaletted(DibFormat format) {
  return format == DibFormat::k1Bit || format == DibFormat::k4Bit ||
         format == DibFormat::k8Bit;
}

}  // namespace

void EncodeBmp(const DibImage& bitmap, ByteStream& stream) {
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  if (width <= 0 || height <= 0) return;
  const DibFormat format = bitmap.PixelFormat();
  const int bits = BitsPerPixel(format);

  // A paletted bitmap always gets a table: without one its indices draw black, and entries
  // beyond what the depth can index are of no use to any reader.
  std::vector<PaletteEntry> table = bitmap.Palette();
  if (IsPaletted(format)) {
    const size_t indexable = size_t{1} << bits;
    if (table.empty() || table.size() > indexable) table.resize(indexable);
  }
  // 5-6-5 pixels need their masks; plain 16-bit means 5-5-5 to every reader.
  const bool masks = format == DibFormat::k16Bit;

  const size_t stride = bitmap.RowBytes();
  const size_t imageSize = stride * static_cast<size_t>(height);
  const size_t offset = 54 + (masks ? 12 : 0) + 4 * table.size();
  std::vector<uint8_t> header(offset, 0);
  header[0] = 'B';
  header[1] = 'M';
  Put32(header, 2, static_cast<uint32_t>(offset + imageSize));
  Put32(header, 10, static_cast<uint32_t>(offset));
  Put32(header, 14, 40);
  Put32(header, 18, static_cast<uint32_t>(width));
  Put32(header, 22, static_cast<uint32_t>(height));
  Put16(header, 26, 1);
  Put16(header, 28, static_cast<uint32_t>(bits));
  Put32(header, 30, masks ? 3 : 0);
  Put32(header, 34, static_cast<uint32_t>(imageSize));
  Put32(header, 46, static_cast<uint32_t>(table.size()));
  size_t at = 54;
  if (masks) {
    Put32(header, 54, 0xF800);
    Put32(header, 58, 0x07E0);
    Put32(header, 62, 0x001F);
    at += 12;
  }
  for (const PaletteEntry& c : table) {
    header[at++] = c.blue;
    header[at++] = c.green;
    header[at++] = c.red;
    header[at++] = 0;
  }
  stream.WriteBuffer(header.data(), header.size());

  // Padding bits and bytes are written as zero, whatever the row buffer holds there.
  const size_t usedBits = static_cast<size_t>(width) * bits;
  const size_t fullBytes = usedBits / 8;
  const unsigned tailBits = static_cast<unsigned>(usedBits % 8);
  std::vector<uint8_t> row(stride);
  for (int32_t y = height - 1; y >= 0; --y) {
    std::memset(row.data(), 0, stride);
    const uint8_t* src = bitmap.ScanLine(y);
    std::memcpy(row.data(), src, fullBytes);
    if (tailBits != 0)
      row[fullBytes] = static_cast<uint8_t>(src[fullBytes] & (0xFF00u >> tailBits));
    stream.WriteBuffer(row.data(), stride);
  }
}

}  // namespace tessane
