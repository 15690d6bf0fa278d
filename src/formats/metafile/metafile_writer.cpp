#include "formats/metafile/metafile_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/errors.h"
#include "base/muldiv.h"
#include "formats/bmp/dib_image.h"
#include "formats/metafile/metafile_records.h"

namespace tessane {

namespace {

constexpr int32_t kScreenPixelsX = 1920, kScreenPixelsY = 1080;
constexpr int32_t kScreenMmX = 508, kScreenMmY = 286;
constexpr size_t kEmfHeaderBytes = 108, kStretchDibitsBytes = 80, kInfoHeaderBytes = 40,
                 kEofBytes = 20;

// Little-endian fields appended to a byte buffer.
class RecordFields {
 public:
  RecordFields& U16(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  RecordFields& U32(uint32_t v) { return U16(v & 0xFFFFu).U16(v >> 16); }
  RecordFields& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void WriteTo(ByteStream& out) const { out.WriteBuffer(bytes_.data(), bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
};

// BITMAPINFOHEADER of an uncompressed bottom-up DIB.
void InfoHeader(RecordFields& f, int32_t width, int32_t height, int bits, uint32_t imageBytes) {
  f.U32(kInfoHeaderBytes).I32(width).I32(height).U16(1).U16(bits).U32(0).U32(imageBytes);
  f.I32(0).I32(0).U32(0).U32(0);
}

// Writes the bitmap's rows bottom row first, as 24- or 32-bit DIB rows.
void WriteRows(const DibImage& bitmap, int bits, ByteStream& out) {
  const int32_t width = bitmap.Width();
  const size_t rowBytes = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  std::vector<uint32_t> colors(static_cast<size_t>(width));
  std::vector<uint8_t> row(rowBytes, 0);
  for (int32_t y = bitmap.Height() - 1; y >= 0; --y) {
    bitmap.ToColor32Row(y, colors.data());
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = colors[static_cast<size_t>(x)];
      uint8_t* p = row.data() + static_cast<size_t>(x) * (bits / 8);
      p[0] = static_cast<uint8_t>(c);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c >> 16);
      if (bits == 32) p[3] = static_cast<uint8_t>(c >> 24);
    }
    out.WriteBuffer(row.data(), row.size());
  }
}

void WriteEnhanced(const DibImage* bitmap, int32_t frameWidth, int32_t frameHeight, ByteStream& out) {
  const int32_t bw = bitmap ? bitmap->Width() : 0, bh = bitmap ? bitmap->Height() : 0;
  const bool drawn = bw > 0 && bh > 0;
  const uint32_t bitsBytes = drawn ? static_cast<uint32_t>(bw) * static_cast<uint32_t>(bh) * 4 : 0;
  const uint32_t dibRecord =
      drawn ? static_cast<uint32_t>(kStretchDibitsBytes + kInfoHeaderBytes) + bitsBytes : 0;
  const uint32_t total = static_cast<uint32_t>(kEmfHeaderBytes + kEofBytes) + dibRecord;

  RecordFields header;
  header.U32(EMR_HEADER).U32(kEmfHeaderBytes);
  // Bounds in device pixels, inclusive; (0, 0, -1, -1) when nothing is drawn.
  header.I32(0).I32(0).I32(drawn ? bw - 1 : -1).I32(drawn ? bh - 1 : -1);
  header.I32(0).I32(0).I32(frameWidth).I32(frameHeight);
  header.U32(0x464D4520).U32(0x10000).U32(total).U32(drawn ? 3 : 2);
  header.U16(1).U16(0).U32(0).U32(0).U32(0);
  header.I32(kScreenPixelsX).I32(kScreenPixelsY).I32(kScreenMmX).I32(kScreenMmY);
  header.U32(0).U32(0).U32(0).I32(kScreenMmX * 1000).I32(kScreenMmY * 1000);
  header.WriteTo(out);

  if (drawn) {
    RecordFields record;
    record.U32(EMR_STRETCHDIBITS).U32(dibRecord);
    record.I32(0).I32(0).I32(bw - 1).I32(bh - 1);
    record.I32(0).I32(0).I32(0).I32(0).I32(bw).I32(bh);
    record.U32(kStretchDibitsBytes).U32(kInfoHeaderBytes);
    record.U32(kStretchDibitsBytes + kInfoHeaderBytes).U32(bitsBytes);
    record.U32(0).U32(kSrcCopy).I32(bw).I32(bh);
    InfoHeader(record, bw, bh, 32, bitsBytes);
    record.WriteTo(out);
    WriteRows(*bitmap, 32, out);
  }

  RecordFields eof;
  eof.U32(EMR_EOF).U32(kEofBytes).U32(0).U32(16).U32(kEofBytes);
  eof.WriteTo(out);
}

void WriteWindows(const DibImage* bitmap, int32_t width, int32_t height, int32_t frameWidth,
                  int32_t frameHeight, ByteStream& out) {
  const int32_t right = MulDiv(frameWidth, 96, 2540);
  const int32_t bottom = MulDiv(frameHeight, 96, 2540);
  const int32_t bw = bitmap ? bitmap->Width() : 0, bh = bitmap ? bitmap->Height() : 0;
  if (right < 0 || bottom < 0 || right > 32767 || bottom > 32767 || width > 32767 ||
      height > 32767 || bw > 32767 || bh > 32767)
    throw InvalidImageOperationError("Picture is too large for a Windows metafile");
  const bool drawn = bw > 0 && bh > 0;
  const uint32_t rowBytes = ((static_cast<uint32_t>(bw) * 24 + 31) / 32) * 4;
  const uint32_t bitsBytes = drawn ? rowBytes * static_cast<uint32_t>(bh) : 0;

  RecordFields placeable;
  placeable.U32(0x9AC6CDD7).U16(0).U16(0).U16(0).U16(static_cast<uint32_t>(right));
  placeable.U16(static_cast<uint32_t>(bottom)).U16(96).U32(0);
  uint16_t checksum = 0;
  for (size_t i = 0; i < 20; i += 2)
    checksum ^= static_cast<uint16_t>(placeable.Bytes()[i] | (placeable.Bytes()[i + 1] << 8));
  placeable.U16(checksum);

  // Records: map mode, window origin and extent, the bitmap, end of file.
  RecordFields records;
  records.U32(4).U16(META_SETMAPMODE).U16(8);
  records.U32(5).U16(META_SETWINDOWORG).U16(0).U16(0);
  // The window is the picture in pixels, which the bounding box covers.
  const uint32_t windowWidth = static_cast<uint32_t>(width > 0 ? width : right);
  const uint32_t windowHeight = static_cast<uint32_t>(height > 0 ? height : bottom);
  records.U32(5).U16(META_SETWINDOWEXT).U16(windowHeight).U16(windowWidth);
  const uint32_t dibWords = drawn ? (14 + (kInfoHeaderBytes + bitsBytes) / 2) : 0;
  if (drawn) {
    records.U32(dibWords).U16(META_STRETCHDIB).U32(kSrcCopy).U16(0);
    records.U16(bh).U16(bw).U16(0).U16(0).U16(bh).U16(bw).U16(0).U16(0);
    InfoHeader(records, bw, bh, 24, bitsBytes);
  }
  const uint32_t headerWords = 9;
  const uint32_t totalWords = headerWords + 4 + 5 + 5 + dibWords + 3;

  RecordFields header;
  header.U16(1).U16(headerWords).U16(0x300).U32(totalWords).U16(0);
  header.U32(std::max<uint32_t>(dibWords, 5)).U16(0);

  placeable.WriteTo(out);
  header.WriteTo(out);
  records.WriteTo(out);
  if (drawn) WriteRows(*bitmap, 24, out);
  RecordFields eof;
  eof.U32(3).U16(0);
  eof.WriteTo(out);
}

}  // namespace

void WriteMetafile(const DibImage* bitmap, int32_t width, int32_t height, bool enhanced,
                   ByteStream& out) {
  const int32_t frameWidth =
      width > 0 ? MulDiv(width, kScreenMmX * 100, kScreenPixelsX) : kScreenMmX * 100;
  const int32_t frameHeight =
      height > 0 ? MulDiv(height, kScreenMmY * 100, kScreenPixelsY) : kScreenMmY * 100;
  if (enhanced)
    WriteEnhanced(bitmap, frameWidth, frameHeight, out);
  else
    WriteWindows(bitmap, width, height, frameWidth, frameHeight, out);
}

void EncodeEmf(const DibImage& bitmap, ByteStream& out) {
  WriteMetafile(&bitmap, bitmap.Width(), bitmap.Height(), true, out);
}

void EncodeWmf(const DibImage& bitmap, ByteStream& out) {
  WriteMetafile(&bitmap, bitmap.Width(), bitmap.Height(), false, out);
}

}  // namespace tessane
