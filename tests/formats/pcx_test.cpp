#include "formats/pcx/pcx_graphic.h"

#include <gtest/gtest.h>

#include <array>

#include "base/byte_order.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kColourFormat = "Invalid color format in PCX file.";
const char* const kInvalid = "Cannot load image. Invalid or unexpected PCX image format.";

struct PcxHeader {
  uint8_t manufacturer = 10, version = 5, encoding = 0, bits = 8;
  uint16_t x_min = 0, y_min = 0, width = 1, height = 1;
  std::array<uint8_t, 48> palette = {};
  uint8_t planes = 1;
  uint16_t bytes_per_line = 1, palette_info = 1;
};

// A PCX file: the 128-byte header followed by `rest` (pixel data, palette block).
std::vector<uint8_t> Pcx(const PcxHeader& h, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> file(128, 0);
  file[0] = h.manufacturer, file[1] = h.version, file[2] = h.encoding, file[3] = h.bits;
  StoreLe16(&file[4], h.x_min);
  StoreLe16(&file[6], h.y_min);
  StoreLe16(&file[8], (h.x_min + h.width - 1) & 0xFFFF);
  StoreLe16(&file[10], (h.y_min + h.height - 1) & 0xFFFF);
  std::copy(h.palette.begin(), h.palette.end(), file.begin() + 16);
  file[65] = h.planes;
  StoreLe16(&file[66], h.bytes_per_line);
  StoreLe16(&file[68], h.palette_info);
  for (const uint8_t b : rest) file.push_back(b);
  return file;
}

// The 769-byte block of 256-colour files: 12, then entry i = (i, 255 - i, 7).
std::vector<uint8_t> PaletteBlock() {
  std::vector<uint8_t> block = {12};
  for (int i = 0; i < 256; ++i) block.insert(block.end(), {uint8_t(i), uint8_t(255 - i), 7});
  return block;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<PcxGraphic>(bytes);
}

TEST(PcxTest, ColourTables) {
  PcxHeader header_palette{.bits = 4, .width = 2, .bytes_per_line = 1};
  for (int i = 0; i < 16; ++i) header_palette.palette[3 * i] = uint8_t(10 * i);  // reds 0, 10, 20..
  PcxHeader version3 = header_palette;
  version3.version = 3;
  PcxHeader grey4 = header_palette;
  grey4.palette_info = 2;
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DibFormat format;
    std::vector<uint32_t> pixels;
  };
  const Case cases[] = {
      {"256 colours from the trailing block",
       Pcx({.width = 2, .bytes_per_line = 2}, Concat({1, 200}, PaletteBlock())),
       DibFormat::k8Bit,
       {0xFF01FE07u, 0xFFC83707u}},
      {"8 bits with grey information and no block: grey ramp",
       Pcx({.width = 2, .bytes_per_line = 2, .palette_info = 2}, {1, 200}),
       DibFormat::k8Bit,
       {0xFF010101u, 0xFFC8C8C8u}},
      {"4 bits: the header palette",
       Pcx(header_palette, {0x3F}),
       DibFormat::k4Bit,
       {0xFF1E0000u, 0xFF960000u}},
      {"4 bits, version 3: the standard palette",
       Pcx(version3, {0x9F}),
       DibFormat::k4Bit,
       {0xFFFF0000u, 0xFFFFFFFFu}},
      {"4 bits with grey information: grey ramp",
       Pcx(grey4, {0x1F}),
       DibFormat::k4Bit,
       {0xFF111111u, 0xFFFFFFFFu}},
      {"1 bit: black and white whatever the header palette",
       Pcx({.version = 3, .bits = 1, .width = 3}, {0xA0}),
       DibFormat::k1Bit,
       {0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}},
      {"2 bits: indices into the header palette",
       Pcx({.bits = 2, .width = 3, .palette = header_palette.palette}, {0x1B}),
       DibFormat::k4Bit,
       {0xFF000000u, 0xFF0A0000u, 0xFF140000u}},
      {"2 bits with grey information: 4 grey levels",
       Pcx({.bits = 2, .width = 4, .palette_info = 2}, {0x1B}),
       DibFormat::k4Bit,
       {0xFF000000u, 0xFF555555u, 0xFFAAAAAAu, 0xFFFFFFFFu}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(c.file);
    ASSERT_EQ(bitmap->Width(), static_cast<int32_t>(c.pixels.size()));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    for (size_t x = 0; x < c.pixels.size(); ++x)
      EXPECT_EQ(PixelAt(*bitmap, static_cast<int32_t>(x), 0), c.pixels[x]) << "pixel " << x;
  }
}

TEST(PcxTest, EightBitsWithoutPaletteBlockKeepAllTheirPixels) {
  // 40 x 20 indices, so the byte 769 before the end is pixel data (not 12).
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 800; ++i) pixels.push_back(uint8_t(i * 7 % 251 + 13));
  const auto bitmap = Load(Pcx({.width = 40, .height = 20, .bytes_per_line = 40}, pixels));
  EXPECT_TRUE(bitmap->Palette().empty());
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x)
      ASSERT_EQ(bitmap->ScanLine(y)[x], pixels[y * 40 + x]) << x << "," << y;
}

TEST(PcxTest, PlaneLayouts) {
  // 16 colours in 4 planes: 0x80 in plane 0 only -> index 1 at pixel 0, 0 elsewhere.
  const auto planar =
      Load(Pcx({.bits = 1, .width = 8, .planes = 4, .bytes_per_line = 1}, {0x80, 0, 0, 0}));
  EXPECT_EQ(planar->PixelFormat(), DibFormat::k4Bit);
  EXPECT_EQ(planar->ScanLine(0)[0], 0x10);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(planar->ScanLine(0)[i], 0x00);
  // Plane k gives bit k of the index.
  const auto bits = Load(
      Pcx({.bits = 1, .width = 2, .planes = 4, .bytes_per_line = 1}, {0x40, 0xC0, 0x00, 0x80}));
  EXPECT_EQ(bits->ScanLine(0)[0], 0xA3);

  // True colour: plane 0 red, plane 1 green, plane 2 blue.
  const auto rgb =
      Load(Pcx({.width = 2, .planes = 3, .bytes_per_line = 2}, {10, 11, 20, 21, 30, 31}));
  EXPECT_EQ(rgb->PixelFormat(), DibFormat::k24Bit);
  EXPECT_EQ(PixelAt(*rgb, 0, 0), 0xFF0A141Eu);
  EXPECT_EQ(PixelAt(*rgb, 1, 0), 0xFF0B151Fu);
  const uint8_t* stored = rgb->ScanLine(0);
  EXPECT_EQ(stored[0], 30);  // blue first in the bitmap
  EXPECT_EQ(stored[2], 10);

  // A fourth 8-bit plane is alpha.
  const auto rgba = Load(Pcx({.width = 1, .planes = 4, .bytes_per_line = 1}, {10, 20, 30, 40}));
  EXPECT_EQ(PixelAt(*rgba, 0, 0), 0x280A141Eu);
}

TEST(PcxTest, RunLengthDecoding) {
  // Rows of 2 planes x ... : one run fills plane 0 of row 0, plane 1 of row 0 and row 1's red;
  // a literal 0xC5 must be stored as a run of one.
  const auto bitmap =
      Load(Pcx({.encoding = 1, .width = 2, .height = 2, .planes = 3, .bytes_per_line = 2},
               {0xC8, 0x11, 0xC1, 0xC5, 0x01, 0xC2, 0x22, 0x33}));
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF111111u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFF111111u);
  EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0xFF11C522u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 1), 0xFF110122u);
  // A row's padding bytes are decoded and dropped.
  const auto padded =
      Load(Pcx({.encoding = 1, .width = 1, .height = 2, .bytes_per_line = 2, .palette_info = 2},
               {0x05, 0xC1, 0xFF, 0x07, 0x00}));
  EXPECT_EQ(PixelAt(*padded, 0, 0), 0xFF050505u);
  EXPECT_EQ(PixelAt(*padded, 0, 1), 0xFF070707u);
}

TEST(PcxTest, WrongFirstByteGivesAnEmptyPictureWithoutError) {
  for (const uint8_t first : {uint8_t{0}, uint8_t{11}, uint8_t{204}}) {
    SCOPED_TRACE(int(first));
    const auto bitmap = Load(Pcx({.manufacturer = first, .width = 2, .bytes_per_line = 2}, {1, 2}));
    EXPECT_EQ(bitmap->Width(), 0);
    EXPECT_EQ(bitmap->Height(), 0);
  }
  EXPECT_EQ(Load(Pcx({.manufacturer = 205, .width = 2, .bytes_per_line = 2}, {1, 2}))->Width(), 2);
}

TEST(PcxTest, BadFilesFailWithTheirMessage) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  const Case cases[] = {
      {"header shorter than 128 bytes", std::vector<uint8_t>(127, 10), kReadError},
      {"2 planes of 1 bit", Pcx({.bits = 1, .planes = 2}, {0, 0}), kColourFormat},
      {"3 planes of 1 bit", Pcx({.bits = 1, .planes = 3}, {0, 0, 0}), kColourFormat},
      {"1 plane of 16 bits", Pcx({.bits = 16, .bytes_per_line = 2}, {0, 0}), kColourFormat},
      {"2 planes of 8 bits", Pcx({.planes = 2}, {0, 0}), kColourFormat},
      {"plain data shorter than the image",
       Pcx({.width = 4, .height = 2, .bytes_per_line = 4}, {1, 2, 3, 4, 5}), kReadError},
      {"run-length data ending early",
       Pcx({.encoding = 1, .width = 4, .height = 2, .bytes_per_line = 4}, {0xC4, 1, 0xC3}),
       kReadError},
      {"a run's value missing", Pcx({.encoding = 1, .width = 4, .bytes_per_line = 4}, {0xC4}),
       kReadError},
      {"bytes per line too small for the width", Pcx({.width = 4, .bytes_per_line = 3}, {1, 2, 3}),
       kInvalid},
      {"bytes per line 0", Pcx({.bits = 1, .width = 4, .planes = 4, .bytes_per_line = 0}, {}),
       kInvalid},
      {"x max below x min", Pcx({.x_min = 10, .width = 0}, {1}), kInvalid},
      {"width over 65535", Pcx({.x_min = 0, .width = 0}, {1}), kInvalid},
      {"huge run-length picture in a few bytes",
       Pcx({.encoding = 1, .width = 16000, .height = 16000, .bytes_per_line = 16000}, {0xFF, 1}),
       kReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<PcxGraphic>(c.file), c.message);
  }
}

TEST(PcxTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("pcx", Load, {kReadError, kColourFormat, kInvalid});
}

TEST(PcxTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("pcx", Load, {kReadError, kColourFormat, kInvalid});
}

TEST(PcxTest, FilesWrittenByOtherPrograms) {
  EXPECT_EQ(CheckFilesWithDecodes("pcx", Load, 0), 6);
}

}  // namespace
}  // namespace tessane::test
