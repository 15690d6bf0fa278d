#include "formats/tiff/tiff_graphic.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <string>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kInvalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";

// The layout of a TIFF written with libtiff for one test.
struct TiffLayout {
  uint32_t width = 1, height = 1;
  uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
  uint16_t sample_format = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT;
  std::vector<uint16_t> extra;     // extra sample kinds
  std::vector<uint16_t> colormap;  // red entries, then green, then blue
  uint32_t tile = 0;               // tile side; 0 for one strip
};

// Writes `data` (rows as stored: interleaved, or plane after plane) with libtiff's writer.
std::vector<uint8_t> WriteTiff(const TiffLayout& l, const std::vector<uint8_t>& data) {
  TempDir dir;
  const std::string path = dir.File("t.tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(tif, nullptr);
  if (tif == nullptr) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, l.sample_format);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
  if (!l.extra.empty())
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(l.extra.size()), l.extra.data());
  if (!l.colormap.empty()) {
    const size_t n = l.colormap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, l.colormap.data(), l.colormap.data() + n,
                 l.colormap.data() + 2 * n);
  }
  const unsigned per_row = l.planar == PLANARCONFIG_CONTIG ? l.samples : 1;
  const size_t row_bytes = (size_t{l.width} * per_row * l.bits + 7) / 8;
  const size_t plane_bytes = row_bytes * l.height;
  const unsigned planes = l.planar == PLANARCONFIG_CONTIG ? 1 : l.samples;
  if (l.tile == 0) {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.height);
    for (unsigned p = 0; p < planes; ++p)
      TIFFWriteEncodedStrip(tif, p, const_cast<uint8_t*>(data.data() + p * plane_bytes),
                            static_cast<tmsize_t>(plane_bytes));
  } else {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
    const size_t tile_row = (size_t{l.tile} * per_row * l.bits + 7) / 8;
    std::vector<uint8_t> tile(tile_row * l.tile);
    for (unsigned p = 0; p < planes; ++p)
      for (uint32_t ty = 0; ty < l.height; ty += l.tile)
        for (uint32_t tx = 0; tx < l.width; tx += l.tile) {
          std::fill(tile.begin(), tile.end(), 0);
          const size_t at = size_t{tx} * per_row * l.bits / 8;
          for (uint32_t r = 0; r < l.tile && ty + r < l.height; ++r)
            std::memcpy(tile.data() + r * tile_row,
                        data.data() + p * plane_bytes + (ty + r) * row_bytes + at,
                        std::min(tile_row, row_bytes - at));
          TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(p));
        }
  }
  TIFFClose(tif);
  return ReadBytes(path);
}

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<TiffGraphic>(bytes);
}

// 16-bit samples as libtiff expects them: in the machine's byte order.
std::vector<uint8_t> Words(std::initializer_list<uint16_t> words) {
  std::vector<uint8_t> out(words.size() * 2);
  std::memcpy(out.data(), words.begin(), out.size());
  return out;
}

TEST(TiffTest, LayoutsAndPixelFormats) {
  std::vector<uint16_t> map4(12, 0);  // 4 entries of 16 bits
  map4[1] = 0xFFFF, map4[4 + 2] = 0x8080, map4[8 + 3] = 0x4040;
  std::vector<uint16_t> map8_in_8bit(3 * 256, 0);  // an old writer's 8-bit values
  map8_in_8bit[5] = 200;
  struct Case {
    const char* name;
    TiffLayout layout;
    std::vector<uint8_t> data;
    DibFormat format;
    std::vector<uint32_t> pixels;  // the first row
  };
  const Case cases[] = {
      {"1-bit min-is-white: 0 is white",
       {.width = 3, .bits = 1, .photometric = PHOTOMETRIC_MINISWHITE},
       {0x40},
       DibFormat::k1Bit,
       {0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}},
      {"2-bit palette widened to 4 bits",
       {.width = 4, .bits = 2, .photometric = PHOTOMETRIC_PALETTE, .colormap = map4},
       {0x1B},
       DibFormat::k4Bit,
       {0xFF000000u, 0xFFFF0000u, 0xFF008000u, 0xFF000040u}},
      {"palette of 8-bit values",
       {.width = 1, .photometric = PHOTOMETRIC_PALETTE, .colormap = map8_in_8bit},
       {5},
       DibFormat::k8Bit,
       {0xFFC80000u}},
      {"4-bit grey",
       {.width = 2, .bits = 4},
       {0x1F},
       DibFormat::k4Bit,
       {0xFF111111u, 0xFFFFFFFFu}},
      {"2-bit grey min-is-white",
       {.width = 2, .bits = 2, .photometric = PHOTOMETRIC_MINISWHITE},
       {0x40},
       DibFormat::k4Bit,
       {0xFFAAAAAAu, 0xFFFFFFFFu}},
      {"12-bit grey scaled to 8 bits",
       {.width = 2, .bits = 12},
       {0x00, 0x08, 0xFF},
       DibFormat::k8Bit,
       {0xFF000000u, 0xFF8F8F8Fu}},
      {"16-bit grey min-is-white",
       {.width = 2, .bits = 16, .photometric = PHOTOMETRIC_MINISWHITE},
       Words({0, 0x8080}),
       DibFormat::k8Bit,
       {0xFFFFFFFFu, 0xFF7F7F7Fu}},
      {"16-bit colour",
       {.width = 1, .bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB},
       Words({0xFFFF, 0x0101, 0x8080}),
       DibFormat::k24Bit,
       {0xFFFF0180u}},
      {"colour in planes",
       {.width = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = PLANARCONFIG_SEPARATE},
       {1, 2, 3, 4, 5, 6},
       DibFormat::k24Bit,
       {0xFF010305u, 0xFF020406u}},
      {"unassociated alpha stays as stored",
       {.width = 1,
        .samples = 4,
        .photometric = PHOTOMETRIC_RGB,
        .extra = {EXTRASAMPLE_UNASSALPHA}},
       {200, 100, 50, 128},
       DibFormat::k32Bit,
       {0x80C86432u}},
      {"associated alpha is divided out",
       {.width = 1,
        .samples = 4,
        .photometric = PHOTOMETRIC_RGB,
        .extra = {EXTRASAMPLE_ASSOCALPHA}},
       {100, 50, 25, 128},
       DibFormat::k32Bit,
       {0x80C76432u}},
      {"grey with alpha",
       {.width = 1, .samples = 2, .extra = {EXTRASAMPLE_UNASSALPHA}},
       {90, 30},
       DibFormat::k32Bit,
       {0x1E5A5A5Au}},
      {"grey with an unspecified extra sample",
       {.width = 1, .samples = 2, .extra = {EXTRASAMPLE_UNSPECIFIED}},
       {90, 30},
       DibFormat::k8Bit,
       {0xFF5A5A5Au}},
      {"CMYK through libtiff's conversion",
       {.width = 1, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED},
       {255, 0, 0, 0},
       DibFormat::k24Bit,
       {0xFF00FFFFu}},
      {"Orientation is not applied",
       {.width = 2, .orientation = ORIENTATION_BOTRIGHT},
       {10, 20},
       DibFormat::k8Bit,
       {0xFF0A0A0Au, 0xFF141414u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(WriteTiff(c.layout, c.data));
    ASSERT_EQ(bitmap->Width(), static_cast<int32_t>(c.pixels.size()));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    for (size_t x = 0; x < c.pixels.size(); ++x)
      EXPECT_EQ(PixelAt(*bitmap, static_cast<int32_t>(x), 0), c.pixels[x]) << "pixel " << x;
  }
}

TEST(TiffTest, TilesAtTheEdgesAreCut) {
  // 20 x 18 grey in 16 x 16 tiles: the right and bottom tiles are mostly outside the picture.
  for (const uint16_t bits : {uint16_t{1}, uint16_t{8}, uint16_t{16}}) {
    SCOPED_TRACE(bits);
    const uint32_t w = 20, h = 18;
    const size_t row_bytes = (w * bits + 7) / 8;
    std::vector<uint8_t> data(row_bytes * h);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    const auto tiled = Load(WriteTiff(
        {.width = w, .height = h, .bits = bits, .compression = COMPRESSION_LZW, .tile = 16}, data));
    const auto strip = Load(WriteTiff({.width = w, .height = h, .bits = bits}, data));
    ASSERT_EQ(tiled->Width(), 20);
    ASSERT_EQ(tiled->Height(), 18);
    for (int32_t y = 0; y < 18; ++y)
      for (int32_t x = 0; x < 20; ++x)
        ASSERT_EQ(PixelAt(*tiled, x, y), PixelAt(*strip, x, y)) << x << "," << y;
  }
}

TEST(TiffTest, BadFilesFailWithTheTiffMessage) {
  std::vector<uint8_t> cut = WriteTiff({.width = 64, .height = 64, .compression = COMPRESSION_LZW},
                                       std::vector<uint8_t>(64 * 64, 7));
  cut.resize(cut.size() / 2);
  std::vector<uint8_t> damaged =
      WriteTiff({.width = 64, .height = 64, .compression = COMPRESSION_ADOBE_DEFLATE},
                std::vector<uint8_t>(64 * 64, 7));
  for (size_t i = 8; i < 24 && i < damaged.size(); ++i)
    damaged[i] ^= 0x5A;  // inside the deflate stream
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  const Case cases[] = {
      {"empty file", {}},
      {"not a TIFF", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"header only", {'I', 'I', 42, 0, 8, 0, 0, 0}},
      {"directory offset past the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}},
      {"strips cut off", cut},
      {"corrupt compressed data", damaged},
      {"floating-point samples",
       WriteTiff({.width = 1, .bits = 32, .sample_format = SAMPLEFORMAT_IEEEFP},
                 {0, 0, 0x80, 0x3F})},
      {"wider than 65535 pixels",
       WriteTiff({.width = 70000, .bits = 1}, std::vector<uint8_t>(8750, 0))},
      {"2^28 pixels and more",
       WriteTiff({.width = 20000, .height = 20000, .bits = 1, .compression = COMPRESSION_CCITTFAX4},
                 std::vector<uint8_t>(2500 * 20000, 0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<TiffGraphic>(c.file), kInvalid);
  }
}

TEST(TiffTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("tiff", Load, {kInvalid}, [](const std::string& file) {
    // JPEG-compressed files: another IDCT may land a level or two further.
    return file.find("jpg") != std::string::npos || file.find("jpeg") != std::string::npos ? 3 : 2;
  });
}

// Bytes up to the end of the first image's strips or tiles: later pages and trailing data may
// be cut without touching the picture.
size_t PictureBytes(const std::vector<uint8_t>& file) {
  TempDir dir;
  const std::string path = dir.File("t.tif");
  WriteBytes(path, file);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return file.size();
  const bool tiled = TIFFIsTiled(tif);
  uint64_t *offsets = nullptr, *counts = nullptr;
  TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets);
  TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts);
  const uint32_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  uint64_t end = 0;
  for (uint32_t i = 0; offsets && counts && i < n; ++i) end = std::max(end, offsets[i] + counts[i]);
  TIFFClose(tif);
  return end == 0 ? file.size() : static_cast<size_t>(std::min<uint64_t>(end, file.size()));
}

TEST(TiffTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  TIFFSetWarningHandler(nullptr);
  TIFFSetErrorHandler(nullptr);
  CheckDamagedSamples("tiff", Load, {kInvalid}, PictureBytes);
}

TEST(TiffTest, FilesWrittenByOtherPrograms) {
  EXPECT_EQ(CheckFilesWithDecodes("tiff", Load, 1), 11);
}

}  // namespace
}  // namespace tessane::test
