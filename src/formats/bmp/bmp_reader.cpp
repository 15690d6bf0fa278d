#include "formats/bmp/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "base/byte_order.h"
#include "base/cancel.h"
#include "base/errors.h"
#include "base/limits.h"
#include "formats/bmp/dib_image.h"

namespace tessane {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;

[[noreturn]] void Invalid() {
  throw InvalidImageError("Bitmap image is not valid");
}

struct DibHeader {
  uint32_t size = 0;
  bool core = false;
  int64_t width = 0;
  int64_t height = 0;  // rows of the picture, positive
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = kBiRgb;
  uint32_t colorsUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (bit-field images only)
};

// One colour channel described by a bit mask, widened to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (mask != 0) {
      shift = std::countr_zero(mask);
      max = mask >> shift;
    }
  }
  uint32_t Get(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + max / 2) / max);
  }
};

DibHeader ParseHeader(const uint8_t* data, size_t size, bool iconImage) {
  if (size < 4) Invalid();
  DibHeader h;
  h.size = LoadLe32(data);
  if (h.size == 12) {
    h.core = true;
  } else if (h.size < 40) {
    Invalid();
  }
  if (h.size > size) Invalid();
  int64_t rawHeight;
  int planes;
  if (h.core) {
    h.width = LoadLe16(data + 4);
    rawHeight = LoadLe16(data + 6);
    planes = LoadLe16(data + 8);
    h.bitCount = LoadLe16(data + 10);
  } else {
    h.width = static_cast<int32_t>(LoadLe32(data + 4));
    rawHeight = static_cast<int32_t>(LoadLe32(data + 8));
    planes = LoadLe16(data + 12);
    h.bitCount = LoadLe16(data + 14);
    h.compression = LoadLe32(data + 16);
    h.colorsUsed = LoadLe32(data + 32);
  }
  if (planes != 1) Invalid();
  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      Invalid();
  }
  switch (h.compression) {
    case kBiRgb:
      break;
    case kBiRle8:
      if (h.bitCount != 8) Invalid();
      break;
    case kBiRle4:
      if (h.bitCount != 4) Invalid();
      break;
    case kBiBitFields:
      if (h.bitCount != 16 && h.bitCount != 32) Invalid();
      break;
    default:
      Invalid();
  }
  h.topDown = rawHeight < 0;
  h.height = h.topDown ? -rawHeight : rawHeight;
  if (iconImage) {
    if (h.topDown) Invalid();
    h.height /= 2;
  }
  if (h.width <= 0 || h.height <= 0 || !PictureSizeAllowed(h.width, h.height)) Invalid();
  return h;
}

void SetIndex(uint8_t* row, int64_t x, int bits, uint8_t index) {
  if (bits == 8) {
    row[x] = index;
  } else if (x & 1) {
    row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
  } else {
    row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
  }
}

// Run-length decoding (RLE8 and RLE4). Runs, deltas and absolute runs that reach beyond the
// bitmap are cut at its edges; data ending without an end-of-bitmap code ends the picture.
void DecodeRle(const uint8_t* data, size_t begin, size_t end, const DibHeader& h, DibImage& out) {
  const int bits = h.bitCount;
  const int64_t width = h.width, height = h.height;
  int64_t x = 0, y = 0;  // y counts file rows: bottom row first unless top-down
  auto row = [&](int64_t fileRow) {
    return out.ScanLine(static_cast<int32_t>(h.topDown ? fileRow : height - 1 - fileRow));
  };
  size_t p = begin;
  while (p + 1 < end && y < height) {
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      const int64_t n = std::min<int64_t>(count, std::max<int64_t>(width - x, 0));
      uint8_t* r = row(y);
      for (int64_t i = 0; i < n; ++i) {
        const uint8_t index =
            bits == 8 ? value : static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4);
        SetIndex(r, x + i, bits, index);
      }
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (p + 1 >= end) break;
      x += data[p];
      y += data[p + 1];
      p += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = bits == 8 ? value : (value + 1u) / 2;
      const size_t available = std::min(bytes, end - p);
      const int64_t pixels = std::min<int64_t>(value, bits == 8 ? available : available * 2);
      const int64_t n = std::min<int64_t>(pixels, std::max<int64_t>(width - x, 0));
      uint8_t* r = row(y);
      for (int64_t i = 0; i < n; ++i) {
        const uint8_t b = data[p + (bits == 8 ? i : i / 2)];
        const uint8_t index = bits == 8 ? b : static_cast<uint8_t>((i & 1) ? b & 0x0F : b >> 4);
        SetIndex(r, x + i, bits, index);
      }
      if (available < bytes) break;
      x += value;
      p += (bytes + 1) & ~size_t{1};
    }
  }
}

// Reads pixels through bit masks into a 24-bit (no alpha mask) or 32-bit bitmap. Returns whether
// the alpha values were kept (all-zero alpha is read as opaque).
bool DecodeBitFields(const uint8_t* pixels, size_t stride, const DibHeader& h, DibImage& out) {
  const bool wide = h.bitCount == 32;
  const uint32_t keep = wide ? 0xFFFFFFFFu : 0xFFFFu;
  const Channel red(h.masks[0] & keep), green(h.masks[1] & keep), blue(h.masks[2] & keep);
  const Channel alpha(h.masks[3] & keep);
  const bool withAlpha = alpha.max != 0;
  out.SetPixelFormat(withAlpha ? DibFormat::k32Bit : DibFormat::k24Bit);
  out.SetSize(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height));
  bool anyAlpha = false;
  for (int64_t fy = 0; fy < h.height; ++fy) {
    ThrowIfCancelled();
    const uint8_t* src = pixels + static_cast<size_t>(fy) * stride;
    uint8_t* dst = out.ScanLine(static_cast<int32_t>(h.topDown ? fy : h.height - 1 - fy));
    for (int64_t x = 0; x < h.width; ++x) {
      const uint32_t p = wide ? LoadLe32(src + 4 * x) : LoadLe16(src + 2 * x);
      uint8_t* d = dst + (withAlpha ? 4 : 3) * x;
      d[0] = static_cast<uint8_t>(blue.Get(p));
      d[1] = static_cast<uint8_t>(green.Get(p));
      d[2] = static_cast<uint8_t>(red.Get(p));
      if (withAlpha) {
        d[3] = static_cast<uint8_t>(alpha.Get(p));
        anyAlpha |= d[3] != 0;
      }
    }
  }
  if (withAlpha && !anyAlpha) {
    for (int32_t y = 0; y < out.Height(); ++y)
      for (int32_t x = 0; x < out.Width(); ++x) out.ScanLine(y)[4 * x + 3] = 255;
  }
  return anyAlpha;
}

// Most programs leave the fourth byte of 32-bit pixels zero: such a picture is opaque, not
// invisible. Returns whether the bytes were kept as alpha.
bool FixUnusedAlpha(DibImage& out) {
  for (int32_t y = 0; y < out.Height(); ++y) {
    const uint8_t* row = out.ScanLine(y);
    for (int32_t x = 0; x < out.Width(); ++x)
      if (row[4 * x + 3] != 0) return true;
  }
  for (int32_t y = 0; y < out.Height(); ++y) {
    uint8_t* row = out.ScanLine(y);
    for (int32_t x = 0; x < out.Width(); ++x) row[4 * x + 3] = 255;
  }
  return false;
}

// Decodes the DIB whose header starts at data[at]. `fileOffset` is the pixel offset a file
// header gave (0 when there is none): the pixels then follow the colour table directly.
DibLayout DecodeDib(const uint8_t* data, size_t size, size_t at, size_t fileOffset, bool iconImage,
                     DibImage& bitmap) {
  if (at >= size) Invalid();
  DibHeader h = ParseHeader(data + at, size - at, iconImage);
  size_t pos = at + h.size;

  if (h.compression == kBiBitFields) {
    if (h.size >= 52) {
      for (int i = 0; i < 3; ++i) h.masks[i] = LoadLe32(data + at + 40 + 4 * i);
      if (h.size >= 56) h.masks[3] = LoadLe32(data + at + 52);
    } else {
      if (size - pos < 12) Invalid();
      for (int i = 0; i < 3; ++i) h.masks[i] = LoadLe32(data + pos + 4 * i);
      pos += 12;
    }
  }
  const size_t headerEnd = pos;

  // Colour table: only paletted images use it; a longer table than the depth allows is cut.
  const size_t entrySize = h.core ? 3 : 4;
  size_t declared = h.colorsUsed;
  if (declared == 0 && h.bitCount <= 8) declared = size_t{1} << h.bitCount;
  std::vector<PaletteEntry> palette;
  if (h.bitCount <= 8) {
    const size_t count = std::min(declared, size_t{1} << h.bitCount);
    if ((size - pos) / entrySize < count) Invalid();
    palette.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = data + pos + i * entrySize;
      palette[i] = PaletteEntry{e[0], e[1], e[2], 0};
    }
  }
  size_t pixelOffset;
  if (fileOffset != 0 && fileOffset >= headerEnd && fileOffset <= size) {
    pixelOffset = fileOffset;
  } else {
    // No usable offset: the pixels follow the table as declared.
    if (declared > (size - pos) / entrySize) Invalid();
    pixelOffset = pos + declared * entrySize;
  }

  DibImage out;
  DibLayout layout;
  layout.bit_count = h.bitCount;
  const int32_t width = static_cast<int32_t>(h.width), height = static_cast<int32_t>(h.height);
  const size_t stride = ((static_cast<size_t>(width) * h.bitCount + 31) / 32) * 4;
  const size_t available = size - pixelOffset;

  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    out.SetPixelFormat(h.bitCount == 8 ? DibFormat::k8Bit : DibFormat::k4Bit);
    out.SetSize(width, height);
    DecodeRle(data, pixelOffset, size, h, out);
    out.SetPalette(std::move(palette));
    layout.pixel_end = size;
  } else {
    // The last row may lack its padding; everything before it must be there in full.
    const size_t lastRow = (static_cast<size_t>(width) * h.bitCount + 7) / 8;
    const size_t needed = stride * static_cast<size_t>(height - 1) + lastRow;
    if (needed > available) Invalid();
    const uint8_t* pixels = data + pixelOffset;
    layout.pixel_end = pixelOffset + std::min(stride * static_cast<size_t>(height), available);

    const uint32_t r = h.masks[0], g = h.masks[1], b = h.masks[2], a = h.masks[3];
    const bool bitFields = h.compression == kBiBitFields;
    DibFormat format = DibFormat::k24Bit;
    bool convert = false;
    switch (h.bitCount) {
      case 1:
        format = DibFormat::k1Bit;
        break;
      case 4:
        format = DibFormat::k4Bit;
        break;
      case 8:
        format = DibFormat::k8Bit;
        break;
      case 16:
        format = DibFormat::k15Bit;
        if (bitFields) {
          const uint32_t r16 = r & 0xFFFF, g16 = g & 0xFFFF, b16 = b & 0xFFFF, a16 = a & 0xFFFF;
          if (r16 == 0xF800 && g16 == 0x07E0 && b16 == 0x001F && a16 == 0)
            format = DibFormat::k16Bit;
          else if (!(r16 == 0x7C00 && g16 == 0x03E0 && b16 == 0x001F && a16 == 0))
            convert = true;
        }
        break;
      case 24:
        format = DibFormat::k24Bit;
        break;
      case 32:
        format = DibFormat::k32Bit;
        if (bitFields) {
          const bool standard = r == 0x00FF0000 && g == 0x0000FF00 && b == 0x000000FF;
          if (!standard || (a != 0 && a != 0xFF000000)) convert = true;
        }
        break;
    }
    if (convert) {
      // Pixels come from the whole rows; copy the short last row into a padded buffer first.
      if (needed < stride * static_cast<size_t>(height)) {
        std::vector<uint8_t> padded(stride * static_cast<size_t>(height), 0);
        std::memcpy(padded.data(), pixels, needed);
        layout.has_alpha = DecodeBitFields(padded.data(), stride, h, out);
      } else {
        layout.has_alpha = DecodeBitFields(pixels, stride, h, out);
      }
    } else {
      out.SetPixelFormat(format);
      out.SetSize(width, height);
      for (int32_t fy = 0; fy < height; ++fy) {
        const size_t offset = stride * static_cast<size_t>(fy);
        const size_t n = std::min(stride, available - offset);
        std::memcpy(out.ScanLine(h.topDown ? fy : height - 1 - fy), pixels + offset, n);
      }
      if (h.bitCount == 32) {
        // Bit fields without an alpha mask leave the fourth byte unused.
        if (bitFields && a == 0) {
          for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) out.ScanLine(y)[4 * x + 3] = 255;
        } else {
          layout.has_alpha = FixUnusedAlpha(out);
        }
      }
      out.SetPalette(std::move(palette));
    }
  }
  static_cast<DibImage&>(bitmap) = std::move(out);
  return layout;
}

}  // namespace

void ReadBmp(ByteStream& stream, DibImage& bitmap) {
  if (stream.Remaining() == 0) {
    bitmap.Clear();
    return;
  }
  const std::vector<uint8_t> bytes = stream.ReadAll();
  if (bytes.size() < 14 + 12 || bytes[0] != 'B' || bytes[1] != 'M') Invalid();
  const uint32_t offset = LoadLe32(bytes.data() + 10);
  DecodeDib(bytes.data(), bytes.size(), 14, offset, false, bitmap);
}

DibLayout ReadDib(const uint8_t* data, size_t size, DibImage& bitmap, bool iconImage) {
  return DecodeDib(data, size, 0, 0, iconImage, bitmap);
}

}  // namespace tessane
