// Bitmap files: the public BMP suite against its reference decodes, the reading rules that
// samples do not pin down (alpha, bit fields, run-length damage), refused headers, and the writer.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/errors.h"
#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/bmp_writer.h"
#include "formats/bmp/dib_image.h"
#include "formats/reference_pixels.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Compare;
using test::FromBitmap;
using test::Pixels;

// A bitmap file built field by field, so each case shows exactly what it exercises.
struct BmpSpec {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> masks;    // in the header from 52 bytes on, else after a 40-byte header
  std::vector<uint32_t> palette;  // $00RRGGBB
  std::vector<uint8_t> pixels;
};

std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
  const bool core = s.headerSize == 12;
  const size_t maskBytes = s.headerSize == 40 ? 4 * s.masks.size() : 0;
  const size_t entry = core ? 3 : 4;
  const size_t offset = 14 + s.headerSize + maskBytes + entry * s.palette.size();
  std::vector<uint8_t> b(offset, 0);
  b[0] = 'B';
  b[1] = 'M';
  StoreLe32(&b[2], static_cast<uint32_t>(offset + s.pixels.size()));
  StoreLe32(&b[10], static_cast<uint32_t>(offset));
  StoreLe32(&b[14], s.headerSize);
  if (core) {
    StoreLe16(&b[18], static_cast<uint32_t>(s.width));
    StoreLe16(&b[20], static_cast<uint32_t>(s.height));
    StoreLe16(&b[22], s.planes);
    StoreLe16(&b[24], s.bits);
  } else {
    StoreLe32(&b[18], static_cast<uint32_t>(s.width));
    StoreLe32(&b[22], static_cast<uint32_t>(s.height));
    StoreLe16(&b[26], s.planes);
    StoreLe16(&b[28], s.bits);
    StoreLe32(&b[30], s.compression);
    StoreLe32(&b[46], static_cast<uint32_t>(s.palette.size()));
    for (size_t i = 0; i < s.masks.size(); ++i) StoreLe32(&b[14 + 40 + 4 * i], s.masks[i]);
  }
  size_t at = 14 + s.headerSize + maskBytes;
  for (uint32_t c : s.palette) {
    b[at] = static_cast<uint8_t>(c);
    b[at + 1] = static_cast<uint8_t>(c >> 8);
    b[at + 2] = static_cast<uint8_t>(c >> 16);
    at += entry;
  }
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  return b;
}

DibImage Load(const std::vector<uint8_t>& bytes) {
  DibImage bitmap;
  ReadOnlyMemoryStream in(bytes.data(), bytes.size());
  bitmap.LoadFromStream(in);
  return bitmap;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
  try {
    Load(bytes);
  } catch (const InvalidImageError& e) {
    return e.what();
  }
  return "loaded";
}

// Palette indices of an 8- or 4-bit bitmap, row by row from the top.
std::vector<std::vector<int>> Indices(const DibImage& b) {
  std::vector<std::vector<int>> rows;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::vector<int> row;
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint8_t* line = b.ScanLine(y);
      row.push_back(b.PixelFormat() == DibFormat::k8Bit ? line[x]
                    : (x & 1)                           ? line[x / 2] & 0x0F
                                                        : line[x / 2] >> 4);
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<uint32_t> Grey16() {
  std::vector<uint32_t> p;
  for (uint32_t i = 0; i < 16; ++i) p.push_back(i * 0x111111u);
  return p;
}

TEST(BmpSamples, DecodeLikeTheReferencesAndFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  int compared = 0;
  for (const test::ManifestRow& row : test::RowsOf("bmp")) {
    SCOPED_TRACE(row.file);
    DibImage bitmap;
    std::string error;
    try {
      bitmap.LoadFromFile(test::SharedPath("testimages/" + row.file));
    } catch (const InvalidImageError& e) {
      error = e.what();
    }
    if (row.expected == "must fail cleanly") {
      EXPECT_EQ(error, "Bitmap image is not valid");
      continue;
    }
    if (!error.empty()) {
      EXPECT_NE(row.expected, "loads") << error;
      EXPECT_EQ(error, "Bitmap image is not valid");
      continue;
    }
    if (row.width > 0) {
      EXPECT_EQ(bitmap.Width(), row.width);
      EXPECT_EQ(bitmap.Height(), row.height);
    }
    if (row.expected != "loads" || !test::HasReference(row)) continue;
    // Decoders widen the channels of 16-bit pixels differently; all else must match exactly.
    const std::vector<uint8_t> file = test::ReadBytes(test::SharedPath("testimages/" + row.file));
    const int bits = file[14] == 12 ? file[24] : file[28];
    const int tolerance = bits == 16 ? 8 : 0;
    const Pixels reference = test::LoadReference(test::SharedPath("testimages/" + row.reference));
    const test::Difference d = Compare(FromBitmap(bitmap), reference);
    EXPECT_GE(d.max, 0) << "size differs from the reference";
    EXPECT_LE(d.max, tolerance) << "at " << d.x << "," << d.y;
    ++compared;
  }
  EXPECT_GT(compared, 40);
}

TEST(BmpReader, EmptyFileIsAnEmptyBitmap) {
  DibImage bitmap = Load(MakeBmp({.width = 2, .height = 2, .pixels = std::vector<uint8_t>(16)}));
  ASSERT_EQ(bitmap.Width(), 2);
  ReadOnlyMemoryStream empty(nullptr, 0);
  bitmap.LoadFromStream(empty);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
}

TEST(BmpReader, FailedLoadKeepsThePreviousPicture) {
  DibImage bitmap = Load(MakeBmp({.width = 1, .height = 1, .pixels = {1, 2, 3, 0}}));
  std::vector<uint8_t> broken = MakeBmp({.width = 4, .height = 4, .pixels = {1, 2, 3}});
  ReadOnlyMemoryStream in(broken.data(), broken.size());
  EXPECT_THROW(bitmap.LoadFromStream(in), InvalidImageError);
  EXPECT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(bitmap.ScanLine(0)[2], 3);
}

// Headers that must be refused before anything is allocated for them.
TEST(BmpReader, RefusesInvalidHeaders) {
  const std::vector<uint8_t> pixels(64, 0);
  auto patched = [&](size_t at, uint32_t value, size_t keep = SIZE_MAX) {
    std::vector<uint8_t> bytes = MakeBmp({.width = 2, .height = 2, .pixels = pixels});
    StoreLe32(&bytes[at], value);
    if (keep < bytes.size()) bytes.resize(keep);
    return bytes;
  };
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"more pixels than the file holds",
       MakeBmp({.width = 16000, .height = 16000, .pixels = pixels})},
      {"side beyond the limit", MakeBmp({.width = 70000, .height = 1, .pixels = pixels})},
      {"zero width", MakeBmp({.width = 0, .height = 1, .pixels = pixels})},
      {"negative width", MakeBmp({.width = -4, .height = 1, .pixels = pixels})},
      {"zero height", MakeBmp({.width = 1, .height = 0, .pixels = pixels})},
      {"height of -2^31", MakeBmp({.width = 1, .height = INT32_MIN, .pixels = pixels})},
      {"two planes", MakeBmp({.planes = 2, .pixels = pixels})},
      {"2 bits per pixel", MakeBmp({.bits = 2, .palette = {0, 0, 0, 0}, .pixels = pixels})},
      {"JPEG compression", MakeBmp({.compression = 4, .pixels = pixels})},
      {"RLE8 on a 24-bit picture", MakeBmp({.compression = 1, .pixels = pixels})},
      {"bit fields on 24 bits", MakeBmp({.compression = 3, .masks = {1, 2, 4}, .pixels = pixels})},
      {"palette beyond the file", MakeBmp({.bits = 8, .palette = {}, .pixels = {}})},
      {"16-byte header", patched(14, 16)},
      {"header longer than the file", patched(14, 0x7FFFFFF0)},
      {"no BM signature", patched(0, 0x00004D58)},
      {"file header only", patched(2, 0, 14)},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadError(c.bytes), "Bitmap image is not valid") << c.what;
}

TEST(BmpReader, TopDownAndBottomUpGiveTheSamePicture) {
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  DibImage bottomUp = Load(MakeBmp({.width = 3,
                                    .height = 2,
                                    .bits = 8,
                                    .palette = palette,
                                    .pixels = {2, 3, 0, 0, 1, 2, 3, 0}}));
  DibImage topDown = Load(MakeBmp({.width = 3,
                                   .height = -2,
                                   .bits = 8,
                                   .palette = palette,
                                   .pixels = {1, 2, 3, 0, 2, 3, 0, 0}}));
  const std::vector<std::vector<int>> expected = {{1, 2, 3}, {2, 3, 0}};
  EXPECT_EQ(Indices(bottomUp), expected);
  EXPECT_EQ(Indices(topDown), expected);
  EXPECT_EQ(FromBitmap(bottomUp).At(0, 0), 0xFFFF0000u);
}

TEST(BmpReader, CoreHeaderHasThreeBytePaletteEntries) {
  DibImage b = Load(MakeBmp({.headerSize = 12,
                             .width = 2,
                             .height = 1,
                             .bits = 1,
                             .palette = {0x102030, 0xA0B0C0},
                             .pixels = {0x40, 0, 0, 0}}));
  ASSERT_EQ(b.PixelFormat(), DibFormat::k1Bit);
  EXPECT_EQ(FromBitmap(b).At(0, 0), 0xFF102030u);
  EXPECT_EQ(FromBitmap(b).At(1, 0), 0xFFA0B0C0u);
}

// Most programs write 32-bit pixels with a zero fourth byte: that is an opaque picture. A file
// that uses the byte at all keeps it as alpha.
TEST(BmpReader, ThirtyTwoBitAlphaRule) {
  struct Case {
    uint8_t alpha0, alpha1;
    uint32_t expect0, expect1;
  } cases[] = {
      {0x00, 0x00, 0xFF112233u, 0xFF445566u},
      {0x80, 0x00, 0x80112233u, 0x00445566u},
      {0xFF, 0x01, 0xFF112233u, 0x01445566u},
  };
  for (const Case& c : cases) {
    DibImage b =
        Load(MakeBmp({.width = 2,
                      .height = 1,
                      .bits = 32,
                      .pixels = {0x33, 0x22, 0x11, c.alpha0, 0x66, 0x55, 0x44, c.alpha1}}));
    ASSERT_EQ(b.PixelFormat(), DibFormat::k32Bit);
    EXPECT_EQ(FromBitmap(b).At(0, 0), c.expect0) << int(c.alpha0);
    EXPECT_EQ(FromBitmap(b).At(1, 0), c.expect1) << int(c.alpha0);
  }
}

TEST(BmpReader, BitFieldMasks) {
  struct Case {
    const char* what;
    uint32_t headerSize;
    uint16_t bits;
    std::vector<uint32_t> masks;
    uint32_t pixel;
    DibFormat format;
    uint32_t argb;
  } cases[] = {
      {"5-5-5 stays 15-bit",
       40,
       16,
       {0x7C00, 0x03E0, 0x001F},
       0x7C1F,
       DibFormat::k15Bit,
       0xFFFF00FFu},
      {"5-6-5 stays 16-bit",
       40,
       16,
       {0xF800, 0x07E0, 0x001F},
       0x07E0,
       DibFormat::k16Bit,
       0xFF00FF00u},
      {"4-4-4-4 with alpha",
       56,
       16,
       {0x0F00, 0x00F0, 0x000F, 0xF000},
       0x8F05,
       DibFormat::k32Bit,
       0x88FF0055u},
      {"1-5-5-5 with alpha",
       56,
       16,
       {0x7C00, 0x03E0, 0x001F, 0x8000},
       0x801F,
       DibFormat::k32Bit,
       0xFF0000FFu},
      {"10-10-10 without alpha",
       40,
       32,
       {0x3FF00000, 0x000FFC00, 0x000003FF},
       0x3FF00000,
       DibFormat::k24Bit,
       0xFFFF0000u},
      {"8-8-8 with alpha mask",
       108,
       32,
       {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
       0x40FF8000,
       DibFormat::k32Bit,
       0x40FF8000u},
      {"8-8-8 without alpha mask ignores the fourth byte",
       40,
       32,
       {0x00FF0000, 0x0000FF00, 0x000000FF},
       0x40FF8000,
       DibFormat::k32Bit,
       0xFFFF8000u},
      {"blue-green-red order",
       40,
       32,
       {0x000000FF, 0x0000FF00, 0x00FF0000},
       0x000000FF,
       DibFormat::k24Bit,
       0xFFFF0000u},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> pixels(4, 0);
    for (int i = 0; i < c.bits / 8; ++i) pixels[i] = static_cast<uint8_t>(c.pixel >> (8 * i));
    DibImage b = Load(MakeBmp({.headerSize = c.headerSize,
                               .bits = c.bits,
                               .compression = 3,
                               .masks = c.masks,
                               .pixels = pixels}));
    EXPECT_EQ(b.PixelFormat(), c.format) << c.what;
    EXPECT_EQ(FromBitmap(b).At(0, 0), c.argb) << c.what;
  }
}

// Run-length data: every code, and damaged runs that must stay inside the bitmap.
TEST(BmpReader, RunLengthEncoding) {
  struct Case {
    const char* what;
    uint16_t bits;
    std::vector<uint8_t> data;
    std::vector<std::vector<int>> rows;  // top row first
  } cases[] = {
      {"runs and end of line",
       8,
       {2, 5, 1, 6, 0, 0, 4, 7, 0, 1},
       {{0, 0, 0, 0}, {7, 7, 7, 7}, {5, 5, 6, 0}}},
      {"delta skips pixels and rows",
       8,
       {1, 1, 0, 2, 2, 1, 1, 2, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 2}, {1, 0, 0, 0}}},
      {"absolute run of odd length is padded",
       8,
       {0, 3, 4, 5, 6, 0, 1, 9, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {4, 5, 6, 9}}},
      {"run longer than the row is cut, not wrapped",
       8,
       {9, 3, 1, 8, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {3, 3, 3, 3}}},
      {"absolute run past the row is cut",
       8,
       {3, 1, 0, 4, 2, 3, 4, 5, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 2}}},
      {"delta below the last row ends the picture",
       8,
       {1, 4, 0, 2, 0, 200, 1, 5},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {4, 0, 0, 0}}},
      {"end of line past the last row ends the picture",
       8,
       {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 0, 1, 5},
       {{3, 0, 0, 0}, {2, 0, 0, 0}, {1, 0, 0, 0}}},
      {"absolute run cut short by the end of data",
       8,
       {0, 6, 1, 2},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 2, 0, 0}}},
      {"data without end of bitmap", 8, {2, 9}, {{0, 0, 0, 0}, {0, 0, 0, 0}, {9, 9, 0, 0}}},
      {"RLE4 runs alternate two colours",
       4,
       {3, 0x12, 0, 0, 4, 0x34, 0, 1},
       {{0, 0, 0, 0}, {3, 4, 3, 4}, {1, 2, 1, 0}}},
      {"RLE4 absolute run of three pixels",
       4,
       {0, 3, 0x56, 0x70, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {5, 6, 7, 0}}},
      {"RLE4 run past the row is cut",
       4,
       {7, 0xAB, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {10, 11, 10, 11}}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> palette = Grey16();
    if (c.bits == 8) palette.resize(256, 0);
    DibImage b = Load(MakeBmp({.width = 4,
                               .height = 3,
                               .bits = c.bits,
                               .compression = c.bits == 8 ? 1u : 2u,
                               .palette = palette,
                               .pixels = c.data}));
    EXPECT_EQ(Indices(b), c.rows) << c.what;
  }
}

TEST(BmpReader, ReadDibReportsWhereTheIconMaskStarts) {
  // 2 x 2 icon image: header height 4 (picture and AND mask), 24 bits, rows of 8 bytes.
  std::vector<uint8_t> dib(40, 0);
  StoreLe32(&dib[0], 40);
  StoreLe32(&dib[4], 2);
  StoreLe32(&dib[8], 4);
  StoreLe16(&dib[12], 1);
  StoreLe16(&dib[14], 24);
  dib.resize(40 + 16, 0x7F);
  DibImage b;
  const DibLayout layout = ReadDib(dib.data(), dib.size(), b, true);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(layout.pixel_end, 56u);
  EXPECT_EQ(layout.bit_count, 24);
}

// --- writer ---

std::vector<uint8_t> Write(const DibImage& bitmap) {
  MemoryStream out;
  EncodeBmp(bitmap, out);
  return out.Bytes();
}

TEST(BmpWriter, ThirtyTwoBitHeaderAndBottomUpRows) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k32Bit);
  b.SetSize(2, 2);
  const uint32_t top[2] = {0x80112233u, 0xFF445566u}, bottom[2] = {0x00778899u, 0x01AABBCCu};
  std::memcpy(b.ScanLine(0), top, 8);
  std::memcpy(b.ScanLine(1), bottom, 8);
  const std::vector<uint8_t> f = Write(b);
  ASSERT_EQ(f.size(), 54u + 16u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  struct Field {
    size_t at;
    uint32_t value;
  } fields[] = {{2, 70}, {6, 0},   {10, 54}, {14, 40}, {18, 2}, {22, 2},
                {30, 0}, {34, 16}, {38, 0},  {42, 0},  {46, 0}, {50, 0}};
  for (const Field& field : fields) EXPECT_EQ(LoadLe32(&f[field.at]), field.value) << field.at;
  EXPECT_EQ(f[26] | (f[27] << 8), 1);
  EXPECT_EQ(f[28] | (f[29] << 8), 32);
  // Bottom row first, the fourth byte carried as it is.
  const std::vector<uint8_t> pixels(f.begin() + 54, f.end());
  EXPECT_EQ(pixels, (std::vector<uint8_t>{0x99, 0x88, 0x77, 0x00, 0xCC, 0xBB, 0xAA, 0x01, 0x33,
                                          0x22, 0x11, 0x80, 0x66, 0x55, 0x44, 0xFF}));
}

TEST(BmpWriter, PalettedBitmapGetsItsColourTableAndZeroPadding) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k4Bit);
  b.SetSize(3, 1);
  b.SetPalette({PaletteColor(255, 0, 0), PaletteColor(0, 255, 0), PaletteColor(0, 0, 255)});
  b.ScanLine(0)[0] = 0x01;
  b.ScanLine(0)[1] = 0x2F;  // pixel 2 = index 2; the low nibble is padding
  b.ScanLine(0)[3] = 0xEE;  // padding byte
  const std::vector<uint8_t> f = Write(b);
  ASSERT_EQ(f.size(), 54u + 12u + 4u);
  EXPECT_EQ(LoadLe32(&f[2]), 70u);
  EXPECT_EQ(LoadLe32(&f[10]), 66u);
  EXPECT_EQ(LoadLe32(&f[46]), 3u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 54, f.begin() + 58),
            (std::vector<uint8_t>{0, 0, 255, 0}));
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 66, f.end()),
            (std::vector<uint8_t>{0x01, 0x20, 0, 0}));
}

// Every pixel format is written in its own format and reads back unchanged.
TEST(BmpWriter, EveryFormatRoundTrips) {
  const DibFormat formats[] = {DibFormat::k1Bit,  DibFormat::k4Bit,  DibFormat::k8Bit,
                               DibFormat::k15Bit, DibFormat::k16Bit, DibFormat::k24Bit,
                               DibFormat::k32Bit};
  for (DibFormat format : formats) {
    DibImage b;
    b.SetPixelFormat(format);
    b.SetSize(5, 3);
    const int bits = BitsPerPixel(format);
    if (bits <= 8) {
      std::vector<PaletteEntry> palette;
      for (int i = 0; i < (1 << bits); ++i)
        palette.push_back(PaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 7)));
      b.SetPalette(palette);
    }
    for (int32_t y = 0; y < 3; ++y)
      for (size_t i = 0; i < b.RowBytes(); ++i)
        b.ScanLine(y)[i] = static_cast<uint8_t>(37 * (y + 1) + 11 * i);
    const std::vector<uint8_t> f = Write(b);
    EXPECT_EQ(f[28] | (f[29] << 8), bits);
    DibImage back = Load(f);
    EXPECT_EQ(back.PixelFormat(), format) << bits;
    const test::Difference d = Compare(FromBitmap(back), FromBitmap(b), true);
    EXPECT_EQ(d.max, 0) << "format of " << bits << " bits at " << d.x << "," << d.y;
  }
}

TEST(BmpWriter, EmptyBitmapWritesNothing) {
  DibImage b;
  EXPECT_TRUE(Write(b).empty());
  b.SetSize(5, 0);
  EXPECT_TRUE(Write(b).empty());
}

}  // namespace
}  // namespace tessane
