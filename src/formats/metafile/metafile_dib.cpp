#include "formats/metafile/metafile_dib.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <vector>

#include "base/limits.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/bmp/bmp_reader.h"

namespace tessane {

namespace {

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5, kBiAlphaBitfields = 6;

// Presents a bitmap file header, the DIB's info block and its bits as one read-only stream, so
// the BMP reader sees a whole bitmap file without the bits being copied.
class JoinedStream : public ByteStream {
 public:
  explicit JoinedStream(std::array<ByteView, 3> parts) : parts_(parts) {
    for (const ByteView& p : parts_) size_ += p.Size();
  }
  size_t Read(void* buffer, size_t count) override {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    size_t start = 0;
    for (const ByteView& p : parts_) {
      const size_t end = start + p.Size();
      if (done < count && position_ < end) {
        const size_t n = std::min(count - done, end - position_);
        std::memcpy(out + done, p.Data() + (position_ - start), n);
        done += n;
        position_ += n;
      }
      start = end;
    }
    return done;
  }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    int64_t target = offset;
    if (origin == SeekOrigin::kCurrent) target += static_cast<int64_t>(position_);
    if (origin == SeekOrigin::kEnd) target += static_cast<int64_t>(size_);
    position_ = static_cast<size_t>(std::max<int64_t>(target, 0));
    return static_cast<int64_t>(position_);
  }

 private:
  std::array<ByteView, 3> parts_;
  size_t size_ = 0;
  size_t position_ = 0;
};

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v & 0xFFFFu);
  PutU16(p + 2, v >> 16);
}

}  // namespace

size_t PackedDibInfoSize(ByteView dib, bool paletteIndices) {
  if (!dib.Has(0, 4)) return 0;
  const uint32_t header = dib.U32(0);
  if (header < 12 || !dib.Has(0, header)) return 0;
  uint64_t size = header;
  uint32_t bitCount, colors, entry;
  if (header < 40) {
    if (header != 12) return 0;
    bitCount = dib.U16(10);
    colors = bitCount <= 8 ? (1u << bitCount) : 0;
    entry = 3;
  } else {
    bitCount = dib.U16(14);
    const uint32_t compression = dib.U32(16);
    colors = dib.U32(32);
    if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
    entry = 4;
    if (header == 40 && compression == kBiBitfields) size += 12;
    if (header == 40 && compression == kBiAlphaBitfields) size += 16;
  }
  if (paletteIndices) entry = 2;
  size += static_cast<uint64_t>(colors) * entry;
  return size <= dib.Size() ? static_cast<size_t>(size) : 0;
}

QImage DecodeMetafileDib(ByteView info, ByteView bits, bool keepAlpha, int64_t maxPixels) {
  if (!info.Has(0, 12)) return {};
  const uint32_t headerSize = info.U32(0);
  if (headerSize < 12 || !info.Has(0, headerSize) || (headerSize > 12 && headerSize < 40))
    return {};
  int64_t width, height;
  if (headerSize < 40) {
    width = info.U16(4);
    height = info.U16(6);
  } else {
    width = info.I32(4);
    height = info.I32(8);
    const uint32_t compression = info.U32(16);
    if (compression == kBiJpeg || compression == kBiPng) return {};
    if (height < 0 && compression != kBiRgb && compression != kBiBitfields &&
        compression != kBiAlphaBitfields)
      return {};
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || !PictureSizeAllowed(width, height) || width * height > maxPixels)
    return {};

  // The reader takes bottom-up rows; a top-down DIB is read as such and flipped afterwards.
  std::vector<uint8_t> patched;
  ByteView infoView = info;
  if (topDown) {
    patched.assign(info.Data(), info.Data() + info.Size());
    PutU32(patched.data() + 8, static_cast<uint32_t>(height));
    infoView = ByteView(patched.data(), patched.size());
  }
  std::array<uint8_t, 14> fileHeader{'B', 'M'};
  const uint64_t total = fileHeader.size() + infoView.Size() + bits.Size();
  PutU32(fileHeader.data() + 2, static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFFu)));
  PutU32(fileHeader.data() + 10, static_cast<uint32_t>(fileHeader.size() + infoView.Size()));

  DibImage bitmap;
  try {
    JoinedStream stream({ByteView(fileHeader.data(), fileHeader.size()), infoView, bits});
    ReadBmp(stream, bitmap);
  } catch (const std::exception&) {
    return {};
  }
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return {};
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  const int32_t rows = bitmap.Height();
  for (int32_t y = 0; y < rows; ++y) {
    uint32_t* out = reinterpret_cast<uint32_t*>(image.scanLine(topDown ? rows - 1 - y : y));
    bitmap.ToColor32Row(y, out);
    if (!keepAlpha)
      for (int32_t x = 0; x < bitmap.Width(); ++x) out[x] |= 0xFF000000u;
  }
  return image;
}

}  // namespace tessane
