#include "formats/tiff/tiff_graphic.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "base/cancel.h"
#include "base/errors.h"
#include "base/limits.h"
#include "formats/metadata/icc_profile.h"
#include "formats/tiff/tiff_adapter.h"

namespace tessane {

namespace {

constexpr const char* kLabel = "TIF/TIFF";
// Rows and tiles beyond these are not a picture we can hold anyway.
constexpr tmsize_t kMaxTileBytes = tmsize_t{256} << 20;
constexpr tmsize_t kMaxRowBytes = tmsize_t{16} << 20;
// More samples per pixel than any picture we show uses (colour, alpha and a few extras).
constexpr uint16_t kMaxSamples = 16;

// Thrown inside the decoder; the graphic turns it into its message.
struct TiffFailure {};
[[noreturn]] void Fail() {
  throw TiffFailure{};
}

// Depths whose samples a paletted bitmap keeps as they are.
bool IndexDepth(unsigned bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}

// Sample i of a row of `bits`-bit samples. libtiff hands 16-bit samples in host order and
// packs every other width from the most significant bit on.
unsigned SampleAt(const uint8_t* row, size_t i, unsigned bits) {
  if (bits == 8) return row[i];
  if (bits == 16) {
    uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return v;
  }
  unsigned v = 0;
  for (size_t bit = i * bits, last = bit + bits; bit < last; ++bit)
    v = (v << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1u);
  return v;
}

uint8_t Level16(unsigned v) {
  return static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
}

// Calls row(y, bytes) for every stored row of one plane (0 for interleaved samples), strips
// or tiles alike. A row holds width pixels of `pixel_bits` bits, packed, starting on a byte.
// The rows come in stored order: the Orientation tag is not applied.
template <class RowFn>
void ForEachStoredRow(TIFF* tif, uint32_t width, uint32_t height, unsigned pixel_bits,
                      uint16_t plane, RowFn row) {
  const size_t row_bytes = (size_t{width} * pixel_bits + 7) / 8;
  if (!TIFFIsTiled(tif)) {
    const tmsize_t line = TIFFScanlineSize(tif);
    if (line <= 0 || line > kMaxRowBytes || static_cast<size_t>(line) < row_bytes) Fail();
    std::vector<uint8_t> buffer(static_cast<size_t>(line));
    for (uint32_t y = 0; y < height; ++y) {
      ThrowIfCancelled();
      if (TIFFReadScanline(tif, buffer.data(), y, plane) < 0) Fail();
      row(y, buffer.data());
    }
    return;
  }
  uint32_t tile_width = 0, tile_height = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_height);
  const tmsize_t tile_size = TIFFTileSize(tif);
  const tmsize_t tile_row = TIFFTileRowSize(tif);
  // Tiles must start on whole bytes of the row for the copy below.
  if (tile_width == 0 || tile_height == 0 || (uint64_t{tile_width} * pixel_bits) % 8 != 0 ||
      tile_size <= 0 || tile_size > kMaxTileBytes || tile_row <= 0 ||
      static_cast<uint64_t>(tile_row) * tile_height > static_cast<uint64_t>(tile_size))
    Fail();
  const uint32_t band_rows = std::min(tile_height, height);
  std::vector<uint8_t> tile(static_cast<size_t>(tile_size));
  std::vector<uint8_t> band(row_bytes * band_rows);
  for (uint32_t ty = 0; ty < height; ty += tile_height) {
    ThrowIfCancelled();
    const uint32_t rows = std::min(tile_height, height - ty);
    for (uint32_t tx = 0; tx < width; tx += tile_width) {
      if (TIFFReadTile(tif, tile.data(), tx, ty, 0, plane) < 0) Fail();
      const size_t at = size_t{tx} * pixel_bits / 8;
      const size_t n = std::min(static_cast<size_t>(tile_row), row_bytes - at);
      for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(band.data() + r * row_bytes + at, tile.data() + r * size_t(tile_row), n);
    }
    for (uint32_t r = 0; r < rows; ++r) row(ty + r, band.data() + r * row_bytes);
  }
}

// Palette and grey images of one sample of 1, 2, 4 or 8 bits keep their indices in a bitmap of
// 1, 4 (2-bit indices widened) or 8 bits with a colour table. `ramp` is the grey ramp of `bits`
// bits.
void DecodeIndices(TIFF* tif, DibImage& bitmap, uint32_t width, uint32_t height, unsigned bits,
                   unsigned photometric, std::vector<PaletteEntry> ramp) {
  std::vector<PaletteEntry> palette;
  if (photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) Fail();
    const size_t count = size_t{1} << bits;
    // Some writers store 8-bit values in the 16-bit entries.
    bool eight = true;
    for (size_t i = 0; i < count; ++i)
      eight = eight && red[i] < 256 && green[i] < 256 && blue[i] < 256;
    auto level = [&](uint16_t v) { return eight ? static_cast<uint8_t>(v) : Level16(v); };
    for (size_t i = 0; i < count; ++i)
      palette.push_back(PaletteColor(level(red[i]), level(green[i]), level(blue[i])));
  } else {
    palette = std::move(ramp);
    if (photometric == PHOTOMETRIC_MINISWHITE) std::reverse(palette.begin(), palette.end());
  }
  DibFormat format = DibFormat::k8Bit;
  if (bits == 1) format = DibFormat::k1Bit;
  if (bits == 2 || bits == 4) format = DibFormat::k4Bit;
  bitmap.SetPixelFormat(format);
  bitmap.SetPalette(std::move(palette));
  bitmap.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  const size_t row_bytes = (size_t{width} * bits + 7) / 8;
  ForEachStoredRow(tif, width, height, bits, 0, [&](uint32_t y, const uint8_t* in) {
    uint8_t* out = bitmap.ScanLine(static_cast<int32_t>(y));
    if (bits != 2) {
      std::memcpy(out, in, row_bytes);
      return;
    }
    for (size_t x = 0; x < width; ++x) {
      const unsigned index = SampleAt(in, x, 2);
      out[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
    }
  });
}

// The sample layout of a grey or red-green-blue image decoded sample by sample.
struct SampleLayout {
  unsigned bits;      // per sample, 1 to 16
  unsigned samples;   // per pixel, extra samples included
  unsigned colours;   // 1 (grey) or 3 (red, green, blue)
  bool alpha;         // the first extra sample is alpha
  bool associated;    // ... premultiplied into the colours
  bool separate;      // one plane per sample
  bool min_is_white;  // grey 0 is white
};

// Grey and colour images of any depth from 1 to 16 bits, with or without alpha, interleaved
// or in planes: 8-bit grey (with its ramp), 24 bits, or 32 bits with straight alpha.
void DecodeSamples(TIFF* tif, DibImage& bitmap, uint32_t width, uint32_t height,
                   const SampleLayout& s, std::vector<PaletteEntry> grey_ramp) {
  DibFormat format = s.colours == 3 ? DibFormat::k24Bit : DibFormat::k8Bit;
  if (s.alpha) format = DibFormat::k32Bit;
  bitmap.SetPixelFormat(format);
  if (format == DibFormat::k8Bit) bitmap.SetPalette(std::move(grey_ramp));
  bitmap.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  const size_t step = static_cast<size_t>(BitsPerPixel(format)) / 8;
  const unsigned max = (1u << s.bits) - 1;
  // Puts sample c (already 8 bits) of pixel x.
  auto put = [&](uint8_t* out, size_t x, unsigned c, unsigned v) {
    uint8_t* pixel = out + x * step;
    if (c < s.colours) {
      if (s.colours == 3) {
        pixel[2 - c] = static_cast<uint8_t>(v);
      } else {
        if (s.min_is_white) v = 255 - v;
        std::memset(pixel, static_cast<int>(v), std::min<size_t>(step, 3));
      }
    } else if (s.alpha && c == s.colours) {
      pixel[3] = static_cast<uint8_t>(v);
    }
  };
  const unsigned planes = s.separate ? s.samples : 1;
  const unsigned per_row = s.separate ? 1 : s.samples;
  for (unsigned plane = 0; plane < planes; ++plane) {
    if (plane > s.colours) break;  // planes after alpha hold nothing we show
    ForEachStoredRow(tif, width, height, s.bits * per_row, static_cast<uint16_t>(plane),
                     [&](uint32_t y, const uint8_t* in) {
                       uint8_t* out = bitmap.ScanLine(static_cast<int32_t>(y));
                       for (size_t x = 0; x < width; ++x)
                         for (unsigned k = 0; k < per_row; ++k) {
                           const unsigned v = SampleAt(in, x * per_row + k, s.bits);
                           put(out, x, s.separate ? plane : k, (v * 255u + max / 2) / max);
                         }
                     });
  }
  if (s.alpha && s.associated) {
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t* p = bitmap.ScanLine(static_cast<int32_t>(y));
      for (uint32_t x = 0; x < width; ++x, p += 4) {
        const unsigned a = p[3];
        if (a == 0 || a == 255) continue;
        for (int c = 0; c < 3; ++c)
          p[c] = static_cast<uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a));
      }
    }
  }
}

// Everything else through libtiff's RGBA interface: 24 bits, or 32 bits with straight alpha.
void DecodeRgba(TIFF* tif, DibImage& bitmap, uint32_t width, uint32_t height,
                uint16_t orientation) {
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tif, message)) Fail();
  TIFFRGBAImage image;
  if (!TIFFRGBAImageBegin(&image, tif, 1, message)) Fail();
  struct End {
    TIFFRGBAImage* image;
    ~End() { TIFFRGBAImageEnd(image); }
  } end{&image};
  // Asking for the file's own orientation keeps the stored row order, as the other paths do.
  image.req_orientation = orientation;
  bitmap.SetPixelFormat(DibFormat::k32Bit);
  bitmap.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  std::vector<uint32_t> raster(size_t{width} * height);
  if (!TIFFRGBAImageGet(&image, raster.data(), width, height)) Fail();
  const bool alpha = image.alpha != 0;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = bitmap.ScanLine(static_cast<int32_t>(y));
    const uint32_t* in = raster.data() + size_t{y} * width;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      const uint32_t p = in[x];
      unsigned r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
      const unsigned a = alpha ? TIFFGetA(p) : 255u;
      // libtiff hands premultiplied colour; the bitmap keeps it straight.
      if (a != 255 && a != 0) {
        r = std::min(255u, (r * 255 + a / 2) / a);
        g = std::min(255u, (g * 255 + a / 2) / a);
        b = std::min(255u, (b * 255 + a / 2) / a);
      }
      out[0] = static_cast<uint8_t>(b);
      out[1] = static_cast<uint8_t>(g);
      out[2] = static_cast<uint8_t>(r);
      out[3] = static_cast<uint8_t>(a);
    }
  }
  if (!alpha) bitmap.SetPixelFormat(DibFormat::k24Bit);
}

}  // namespace

void TiffGraphic::Decode(ByteStream& stream) {
  const std::vector<uint8_t> bytes = stream.ReadAll();
  DecodeTiff(bytes.data(), bytes.size(), kLabel);
  facts_.orientation = TiffOrientation(bytes.data(), bytes.size());
  SetIccFacts(facts_, TiffIccProfile(bytes));
}

void TiffGraphic::DecodeTiff(const uint8_t* data, size_t size, const char* label) {
  try {
    TiffMemoryReader reader(data, size);
    TIFF* tif = reader.Handle();
    if (tif == nullptr) FailInvalid(label);

    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
      FailInvalid(label);
    if (width == 0 || height == 0 || !PictureSizeAllowed(width, height)) FailInvalid(label);

    uint16_t bits = 1, samples = 1, sample_format = SAMPLEFORMAT_UINT, photometric = 0xFFFF;
    uint16_t planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
    uint16_t extra_count = 0;
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sample_format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (samples == 0 || samples > kMaxSamples) FailInvalid(label);
    // Uncompressed pixel data cannot be shorter than the picture: refuse a file that promises
    // more than it holds before the picture is allocated. libtiff's strip size of the whole
    // height counts YCbCr subsampling (six bytes per 2 x 2 pixels, say), which a row size does not.
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_NONE) {
      const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
      const uint64_t plane_bytes = TIFFVStripSize64(tif, height);
      if (plane_bytes == 0 || plane_bytes * planes > size) FailInvalid(label);
    }

    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool whole_numbers = sample_format == SAMPLEFORMAT_UINT && bits >= 1 && bits <= 16;
    const unsigned colours = grey ? 1 : photometric == PHOTOMETRIC_RGB ? 3 : 0;
    if (whole_numbers && samples == 1 && IndexDepth(bits) &&
        (grey || photometric == PHOTOMETRIC_PALETTE)) {
      DecodeIndices(tif, *this, width, height, bits, photometric, GreyRamp(bits));
    } else if (whole_numbers && colours != 0 && samples >= colours) {
      SampleLayout layout{bits,
                          samples,
                          colours,
                          false,
                          false,
                          planar == PLANARCONFIG_SEPARATE,
                          photometric == PHOTOMETRIC_MINISWHITE};
      if (samples > colours) {
        // As libtiff reads it: an unspecified fourth colour sample counts as premultiplied.
        const unsigned kind = extra_count > 0 && extra ? extra[0] : EXTRASAMPLE_UNSPECIFIED;
        layout.alpha = kind != EXTRASAMPLE_UNSPECIFIED || samples > 3;
        layout.associated = kind != EXTRASAMPLE_UNASSALPHA;
      }
      DecodeSamples(tif, *this, width, height, layout, GreyRamp(8));
    } else {
      DecodeRgba(tif, *this, width, height, orientation);
    }
  } catch (const TiffFailure&) {
    FailInvalid(label);
  }
}

}  // namespace tessane
