#include "formats/psd/psd_graphic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "PSD or PDD";

enum PsdMode : uint16_t {
  kBitmap = 0,
  kGrey = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kDuotone = 8,
  kLab = 9
};

// PackBits: n in 0..127 copies n + 1 bytes, n in -127..-1 repeats the next byte 1 - n times,
// -128 is nothing. False when the data end before `out` is full.
bool UnpackBits(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size) {
  size_t i = 0, o = 0;
  while (o < out_size) {
    if (i >= in_size) return false;
    const int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      const size_t count = static_cast<size_t>(n) + 1;
      if (in_size - i < count) return false;
      const size_t take = std::min(count, out_size - o);
      std::memcpy(out + o, in + i, take);
      i += count;
      o += take;
    } else if (n != -128) {
      if (i >= in_size) return false;
      const size_t take = std::min(static_cast<size_t>(1 - n), out_size - o);
      std::memset(out + o, in[i++], take);
      o += take;
    }
  }
  return true;
}

// One stored row of one channel as 8-bit samples (1-bit rows are kept packed).
void ToSamples8(const uint8_t* row, size_t count, int depth, uint8_t* out) {
  if (depth == 16) {
    for (size_t x = 0; x < count; ++x) {
      const uint32_t v = LoadBe16(row + 2 * x);
      out[x] = static_cast<uint8_t>((v * 255 + 32767) / 65535);
    }
  } else {
    std::memcpy(out, row, count);
  }
}

uint8_t ToByte(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<uint8_t>(std::lround(v));
}

double SrgbEncode(double linear) {
  if (linear <= 0.0031308) return 12.92 * linear;
  return 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// CIE L*a*b* (D50, as Photoshop stores it) to sRGB, through XYZ with the D50-adapted matrix.
void LabToRgb(uint8_t l8, uint8_t a8, uint8_t b8, uint8_t& r, uint8_t& g, uint8_t& b) {
  const double l = l8 * 100.0 / 255.0;
  const double fy = (l + 16) / 116;
  const double fx = fy + (a8 - 128) / 500.0;
  const double fz = fy - (b8 - 128) / 200.0;
  const auto inverse = [](double t) {
    constexpr double d = 6.0 / 29.0;
    return t > d ? t * t * t : 3 * d * d * (t - 4.0 / 29.0);
  };
  const double x = 0.96422 * inverse(fx), y = inverse(fy), z = 0.82521 * inverse(fz);
  const double lr = 3.1338561 * x - 1.6168667 * y - 0.4906146 * z;
  const double lg = -0.9787684 * x + 1.9161415 * y + 0.0334540 * z;
  const double lb = 0.0719453 * x - 0.2289914 * y + 1.4052427 * z;
  r = ToByte(255 * SrgbEncode(lr));
  g = ToByte(255 * SrgbEncode(lg));
  b = ToByte(255 * SrgbEncode(lb));
}

}  // namespace

void PsdGraphic::Decode(ByteStream& stream) {
  uint8_t h[26];
  stream.ReadBuffer(h, sizeof h);
  const int64_t file_size = stream.Size();
  const auto read = [&](void* buffer, size_t count) {
    if (stream.Read(buffer, count) != count) FailInvalid(kLabel);
  };
  const auto skip = [&](uint64_t count) {
    if (count > static_cast<uint64_t>(stream.Remaining())) FailInvalid(kLabel);
    stream.Seek(static_cast<int64_t>(count), SeekOrigin::kCurrent);
  };

  if (std::memcmp(h, "8BPS", 4) != 0) FailInvalid(kLabel);
  const int version = LoadBe16(h + 4);
  if (version != 1 && version != 2) FailInvalid(kLabel);
  const bool large = version == 2;
  const int channels = LoadBe16(h + 12);
  const int64_t height = LoadBe32(h + 14);
  const int64_t width = LoadBe32(h + 18);
  const int depth = LoadBe16(h + 22);
  const int mode = LoadBe16(h + 24);
  if (channels < 1 || channels > 56) FailInvalid(kLabel);
  if (width < 1 || height < 1 || !PictureSizeAllowed(width, height)) FailInvalid(kLabel);
  if (depth != 1 && depth != 8 && depth != 16) FailInvalid(kLabel);
  if ((mode == kBitmap) != (depth == 1)) FailInvalid(kLabel);

  // Colour mode data: the colour table of indexed files.
  uint8_t len4[4];
  read(len4, 4);
  const uint32_t mode_data = LoadBe32(len4);
  std::vector<PaletteEntry> palette;
  if (mode == kIndexed) {
    if (mode_data < 768) FailInvalid(kLabel);
    uint8_t table[768];
    read(table, sizeof table);
    palette.resize(256);
    for (int i = 0; i < 256; ++i)
      palette[i] = PaletteColor(table[i], table[256 + i], table[512 + i]);
    skip(mode_data - 768);
  } else {
    skip(mode_data);
  }

  // Image resources.
  read(len4, 4);
  skip(LoadBe32(len4));

  // Layer and mask information: only the sign of the layer count matters here. A negative count
  // says that the first extra channel of the merged image is its transparency.
  uint64_t section;
  if (large) {
    uint8_t len8[8];
    read(len8, 8);
    section = LoadBe64(len8);
  } else {
    read(len4, 4);
    section = LoadBe32(len4);
  }
  if (section > static_cast<uint64_t>(stream.Remaining())) FailInvalid(kLabel);
  const int64_t section_end = stream.Position() + static_cast<int64_t>(section);
  bool merged_alpha = false;
  const size_t length_size = large ? 8 : 4;
  if (section >= length_size + 2) {
    uint8_t info[10];
    read(info, length_size + 2);
    const uint64_t layers = large ? LoadBe64(info) : LoadBe32(info);
    if (layers >= 2) merged_alpha = static_cast<int16_t>(LoadBe16(info + length_size)) < 0;
  }
  stream.SetPosition(section_end);

  int colour_channels;
  switch (mode) {
    case kBitmap:
    case kGrey:
    case kDuotone:  // the stored channel is the grey image the inks are applied to
    case kIndexed:
      colour_channels = 1;
      break;
    case kRgb:
    case kLab:
      colour_channels = 3;
      break;
    case kCmyk:
      colour_channels = 4;
      break;
    default:
      FailInvalid(kLabel);
  }
  if (channels < colour_channels) FailInvalid(kLabel);
  const bool alpha =
      merged_alpha && mode != kBitmap && mode != kIndexed && channels > colour_channels;
  const int used = colour_channels + (alpha ? 1 : 0);

  uint8_t comp[2];
  read(comp, 2);
  const int compression = LoadBe16(comp);
  if (compression > 1) FailInvalid(kLabel);  // zip is only used inside layers

  const size_t w = static_cast<size_t>(width);
  const size_t row_bytes = depth == 1 ? (w + 7) / 8 : w * static_cast<size_t>(depth / 8);
  const uint64_t rows = static_cast<uint64_t>(channels) * static_cast<uint64_t>(height);
  const int64_t data_start = stream.Position();

  // Where row y of channel c starts, and how many stored bytes it has.
  std::vector<uint64_t> row_offset;
  std::vector<uint32_t> row_size;
  if (compression == 0) {
    const uint64_t needed = uint64_t{row_bytes} * height * static_cast<uint64_t>(used);
    if (needed > static_cast<uint64_t>(stream.Remaining()))
      throw StreamReadError("Stream read error");
  } else {
    const size_t count_size = large ? 4 : 2;
    const uint64_t table_bytes = rows * count_size;
    if (table_bytes > static_cast<uint64_t>(stream.Remaining())) FailInvalid(kLabel);
    std::vector<uint8_t> table(static_cast<size_t>(table_bytes));
    read(table.data(), table.size());
    const size_t used_rows = static_cast<size_t>(used) * static_cast<size_t>(height);
    row_offset.resize(used_rows);
    row_size.resize(used_rows);
    uint64_t offset = static_cast<uint64_t>(data_start) + table_bytes;
    for (size_t i = 0; i < used_rows; ++i) {
      const uint8_t* p = table.data() + i * count_size;
      row_size[i] = large ? LoadBe32(p) : LoadBe16(p);
      // PackBits makes at most 128 bytes of every 2: refuse rows that cannot fill before
      // allocating the picture.
      if (uint64_t{row_size[i]} * 64 < row_bytes) FailInvalid(kLabel);
      row_offset[i] = offset;
      offset += row_size[i];
    }
    if (offset > static_cast<uint64_t>(file_size)) FailInvalid(kLabel);
  }

  switch (mode) {
    case kBitmap:
      SetPixelFormat(DibFormat::k1Bit);
      // Set bits are black.
      SetPalette({PaletteColor(255, 255, 255), PaletteColor(0, 0, 0)});
      break;
    case kGrey:
    case kDuotone:
    case kIndexed:
      if (alpha) {
        SetPixelFormat(DibFormat::k32Bit);
      } else {
        SetPixelFormat(DibFormat::k8Bit);
        SetPalette(mode == kIndexed ? palette : GreyRamp(8));
      }
      break;
    default:
      SetPixelFormat(alpha ? DibFormat::k32Bit : DibFormat::k24Bit);
  }
  SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));

  std::vector<uint8_t> stored(row_bytes);
  std::vector<uint8_t> packed;
  // 8-bit samples of the current row, one plane per used channel.
  std::vector<uint8_t> samples(static_cast<size_t>(used) * w);
  for (int64_t y = 0; y < height; ++y) {
    for (int c = 0; c < used; ++c) {
      if (compression == 0) {
        stream.SetPosition(
            data_start + static_cast<int64_t>((c * height + y) * static_cast<int64_t>(row_bytes)));
        stream.ReadBuffer(stored.data(), row_bytes);
      } else {
        const size_t i = static_cast<size_t>(c * height + y);
        packed.resize(row_size[i]);
        stream.SetPosition(static_cast<int64_t>(row_offset[i]));
        read(packed.data(), packed.size());
        if (!UnpackBits(packed.data(), packed.size(), stored.data(), row_bytes))
          FailInvalid(kLabel);
      }
      if (depth == 1) {
        std::memcpy(ScanLine(static_cast<int32_t>(y)), stored.data(), row_bytes);
      } else {
        ToSamples8(stored.data(), w, depth, samples.data() + static_cast<size_t>(c) * w);
      }
    }
    if (depth == 1) continue;

    uint8_t* out = ScanLine(static_cast<int32_t>(y));
    const uint8_t* s0 = samples.data();
    const uint8_t* s1 = s0 + w;
    const uint8_t* s2 = s1 + w;
    const uint8_t* s3 = s2 + w;
    const uint8_t* a = samples.data() + static_cast<size_t>(colour_channels) * w;
    const size_t bpp = alpha ? 4 : 3;
    for (size_t x = 0; x < w; ++x) {
      uint8_t* px = out + bpp * x;
      switch (mode) {
        case kGrey:
        case kDuotone:
        case kIndexed:
          if (!alpha) {
            out[x] = s0[x];
            continue;
          }
          px[0] = px[1] = px[2] = s0[x];
          break;
        case kRgb:
          px[0] = s2[x];
          px[1] = s1[x];
          px[2] = s0[x];
          break;
        case kCmyk: {
          // Stored inverted: 255 is no ink, so each colour is its value times black's.
          const unsigned k = s3[x];
          px[0] = static_cast<uint8_t>((s2[x] * k + 127) / 255);
          px[1] = static_cast<uint8_t>((s1[x] * k + 127) / 255);
          px[2] = static_cast<uint8_t>((s0[x] * k + 127) / 255);
          break;
        }
        case kLab:
          LabToRgb(s0[x], s1[x], s2[x], px[2], px[1], px[0]);
          break;
      }
      if (alpha) px[3] = a[x];
    }
  }
}

}  // namespace tessane
