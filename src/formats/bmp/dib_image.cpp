#include "formats/bmp/dib_image.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"
#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/bmp_writer.h"
#include "pixels/argb_image.h"

namespace tessane {

void DibImage::ConvertTo(ArgbImage& image) {
  image.Resize(Width(), Height());
  if (image.IsEmpty()) return;
  for (int32_t y = 0; y < image.Height(); ++y) ToColor32Row(y, image.Row(y));
  if (PixelFormat() != DibFormat::k32Bit) image.SetAllAlpha(255);
  if (Transparent()) {
    const Argb32 key = ToColor32(static_cast<int32_t>(TransparentColor())) & 0x00FFFFFFu;
    Argb32* p = image.Bits();
    const size_t n = static_cast<size_t>(image.Width()) * image.Height();
    for (size_t i = 0; i < n; ++i)
      if ((p[i] & 0x00FFFFFFu) == key) p[i] = key;
  }
}

void DibImage::Assign(const ArgbImage& image) {
  // Dropping the old pixels first spares converting them to the new format.
  SetSize(0, 0);
  SetPixelFormat(DibFormat::k32Bit);
  SetSize(image.Width(), image.Height());
  if (image.IsEmpty()) return;
  for (int32_t y = 0; y < image.Height(); ++y)
    std::memcpy(ScanLine(y), image.Row(y), static_cast<size_t>(image.Width()) * sizeof(Argb32));
}

int BitsPerPixel(DibFormat format) {
  switch (format) {
    case DibFormat::k1Bit:
      return 1;
    case DibFormat::k4Bit:
      return 4;
    case DibFormat::k8Bit:
      return 8;
    case DibFormat::k15Bit:
    case DibFormat::k16Bit:
      return 16;
    case DibFormat::k24Bit:
      return 24;
    case DibFormat::k32Bit:
      return 32;
  }
  return 24;
}

namespace {

bool IsPaletted(DibFormat format) {
  return format == DibFormat::k1Bit || format == DibFormat::k4Bit || format == DibFormat::k8Bit;
}

size_t RowBytesFor(DibFormat format, int32_t width) {
  return ((static_cast<size_t>(width) * BitsPerPixel(format) + 31) / 32) * 4;
}

uint32_t Expand5(uint32_t v) {
  return (v << 3) | (v >> 2);
}
uint32_t Expand6(uint32_t v) {
  return (v << 2) | (v >> 4);
}

uint32_t Argb(uint32_t r, uint32_t g, uint32_t b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Index of pixel x in a paletted row.
uint32_t IndexAt(const uint8_t* row, int32_t x, DibFormat format) {
  switch (format) {
    case DibFormat::k1Bit:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case DibFormat::k4Bit:
      return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

void SetIndexAt(uint8_t* row, int32_t x, DibFormat format, uint32_t index) {
  switch (format) {
    case DibFormat::k1Bit: {
      const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~mask) | ((index & 1u) ? mask : 0));
      break;
    }
    case DibFormat::k4Bit:
      if (x & 1)
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0u) | (index & 0x0Fu));
      else
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0Fu) | ((index & 0x0Fu) << 4));
      break;
    default:
      row[x] = static_cast<uint8_t>(index);
  }
}

}  // namespace

void DibImage::LoadFromStream(ByteStream& stream) {
  ReadBmp(stream, *this);
}

void DibImage::SaveToStream(ByteStream& stream) {
  EncodeBmp(*this, stream);
}

void DibImage::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (!PictureSizeAllowed(width, height))
    throw OutOfResourcesError("Not enough storage is available to process this command");
  width_ = width;
  height_ = height;
  row_bytes_ = RowBytesFor(format_, width_);
  pixels_.assign(row_bytes_ * static_cast<size_t>(height_), 0);
}

void DibImage::Clear() {
  width_ = height_ = 0;
  row_bytes_ = 0;
  pixels_.clear();
  pixels_.shrink_to_fit();
  palette_.clear();
  transparent_ = false;
  transparent_color_ = 0;
}

void DibImage::SetPalette(std::vector<PaletteEntry> palette) {
  if (palette.size() > 256) palette.resize(256);
  palette_ = std::move(palette);
}

void DibImage::Assign(const DibImage& source) {
  if (&source == this) return;
  format_ = source.format_;
  width_ = source.width_;
  height_ = source.height_;
  row_bytes_ = source.row_bytes_;
  pixels_ = source.pixels_;
  palette_ = source.palette_;
  transparent_ = source.transparent_;
  transparent_color_ = source.transparent_color_;
}

void DibImage::ToColor32Row(int32_t y, uint32_t* out) const {
  const uint8_t* row = ScanLine(y);
  switch (format_) {
    case DibFormat::k1Bit:
    case DibFormat::k4Bit:
    case DibFormat::k8Bit:
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t i = IndexAt(row, x, format_);
        out[x] = i < palette_.size() ? Argb(palette_[i].red, palette_[i].green, palette_[i].blue)
                                     : 0xFF000000u;
      }
      break;
    case DibFormat::k15Bit:
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t w = LoadLe16(row + 2 * x);
        out[x] = Argb(Expand5((w >> 10) & 31), Expand5((w >> 5) & 31), Expand5(w & 31));
      }
      break;
    case DibFormat::k16Bit:
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t w = LoadLe16(row + 2 * x);
        out[x] = Argb(Expand5((w >> 11) & 31), Expand6((w >> 5) & 63), Expand5(w & 31));
      }
      break;
    case DibFormat::k24Bit:
      for (int32_t x = 0; x < width_; ++x)
        out[x] = Argb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      break;
    case DibFormat::k32Bit:
      std::memcpy(out, row, static_cast<size_t>(width_) * 4);
      break;
  }
}

void DibImage::SetPixelFormat(DibFormat format) {
  if (format == format_) return;
  const DibFormat old = format_;
  if (width_ == 0 || height_ == 0) {
    format_ = format;
    row_bytes_ = RowBytesFor(format_, width_);
    pixels_.assign(row_bytes_ * static_cast<size_t>(height_), 0);
    return;
  }
  DibImage source;
  source.Assign(*this);
  format_ = format;
  SetSize(width_, height_);
  if (IsPaletted(format) && IsPaletted(old)) {
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x)
        SetIndexAt(ScanLine(y), x, format, IndexAt(source.ScanLine(y), x, old));
    return;
  }
  if (IsPaletted(format)) {
    // Without a quantiser the nearest we can keep is the grey level of a 256-entry ramp.
    std::vector<PaletteEntry> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[i] = PaletteColor(i, i, i);
    const int levels = 1 << BitsPerPixel(format);
    ramp.resize(levels);
    for (int i = 0; i < levels; ++i) {
      const uint8_t v = static_cast<uint8_t>(i * 255 / (levels - 1));
      ramp[i] = PaletteColor(v, v, v);
    }
    palette_ = ramp;
  } else {
    palette_.clear();
  }
  std::vector<uint32_t> line(static_cast<size_t>(width_));
  for (int32_t y = 0; y < height_; ++y) {
    source.ToColor32Row(y, line.data());
    uint8_t* row = ScanLine(y);
    for (int32_t x = 0; x < width_; ++x) {
      const uint32_t c = line[x];
      const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
      switch (format) {
        case DibFormat::k15Bit: {
          const uint32_t w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
          row[2 * x] = static_cast<uint8_t>(w);
          row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
          break;
        }
        case DibFormat::k16Bit: {
          const uint32_t w = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
          row[2 * x] = static_cast<uint8_t>(w);
          row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
          break;
        }
        case DibFormat::k24Bit:
          row[3 * x] = static_cast<uint8_t>(b);
          row[3 * x + 1] = static_cast<uint8_t>(g);
          row[3 * x + 2] = static_cast<uint8_t>(r);
          break;
        case DibFormat::k32Bit:
          std::memcpy(row + 4 * x, &c, 4);
          break;
        default: {
          const int levels = 1 << BitsPerPixel(format);
          const uint32_t grey = (r * 77 + g * 150 + b * 29) >> 8;
          SetIndexAt(row, x, format, grey * (levels - 1) / 255);
        }
      }
    }
  }
}

void DibImage::Draw(const ArgbView& target, const Rect& rect) {
  if (target.IsEmpty() || rect.IsEmpty() || width_ == 0 || height_ == 0) return;
  const Rect clip = IntersectRect(rect, Rect{0, 0, target.width, target.height});
  if (clip.IsEmpty()) return;
  std::vector<uint32_t> line(static_cast<size_t>(width_));
  int32_t decoded_row = -1;
  const int64_t rw = rect.Width(), rh = rect.Height();
  for (int32_t y = clip.top; y < clip.bottom; ++y) {
    const int32_t sy = static_cast<int32_t>((y - rect.top) * int64_t{height_} / rh);
    if (sy != decoded_row) {
      ToColor32Row(sy, line.data());
      decoded_row = sy;
    }
    uint32_t* out = target.Row(y);
    if (rw == width_) {
      std::memcpy(out + clip.left, line.data() + (clip.left - rect.left),
                  static_cast<size_t>(clip.Width()) * 4);
    } else {
      for (int32_t x = clip.left; x < clip.right; ++x)
        out[x] = line[static_cast<size_t>((x - rect.left) * int64_t{width_} / rw)];
    }
  }
}

}  // namespace tessane
