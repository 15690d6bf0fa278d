#include "formats/tga/tga_graphic.h"

#include <gtest/gtest.h>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
const char* const kInvalid = "Cannot load image. Invalid or unexpected Targa image format.";

struct TgaHeader {
  uint8_t id_length = 0, map_type = 0, image_type = 2;
  uint16_t first_entry = 0, map_length = 0;
  uint8_t map_bits = 0;
  uint16_t width = 1, height = 1;
  uint8_t pixel_bits = 24, descriptor = 0;
};

// A Targa file: the 18-byte header followed by `rest` (identification, map, pixels).
std::vector<uint8_t> Tga(const TgaHeader& h, const std::vector<uint8_t>& rest) {
  auto lo = [](unsigned v) { return static_cast<uint8_t>(v & 0xFF); };
  auto hi = [](unsigned v) { return static_cast<uint8_t>(v >> 8); };
  std::vector<uint8_t> file = {h.id_length,
                               h.map_type,
                               h.image_type,
                               lo(h.first_entry),
                               hi(h.first_entry),
                               lo(h.map_length),
                               hi(h.map_length),
                               h.map_bits,
                               0,
                               0,
                               0,
                               0,
                               lo(h.width),
                               hi(h.width),
                               lo(h.height),
                               hi(h.height),
                               h.pixel_bits,
                               h.descriptor};
  for (const uint8_t b : rest) file.push_back(b);
  return file;
}

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<TgaGraphic>(bytes);
}

TEST(TargaTest, RowOrderFollowsDescriptorBit5) {
  // Two rows of one blue-green-red pixel each: first stored red, then blue.
  const std::vector<uint8_t> pixels = {0, 0, 255, 255, 0, 0};
  for (const bool top_first : {false, true}) {
    SCOPED_TRACE(top_first ? "top first" : "bottom first");
    const auto bitmap =
        Load(Tga({.width = 1, .height = 2, .descriptor = uint8_t(top_first ? 0x20 : 0)}, pixels));
    EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k24Bit);
    EXPECT_EQ(PixelAt(*bitmap, 0, top_first ? 0 : 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(*bitmap, 0, top_first ? 1 : 0), 0xFF0000FFu);
  }
}

TEST(TargaTest, PixelFormatsAndColourTables) {
  struct Case {
    const char* name;
    TgaHeader header;
    std::vector<uint8_t> rest;
    DibFormat format;
    std::vector<uint32_t> pixels;  // the row's pixels as $AARRGGBB
  };
  const Case cases[] = {
      {"16-bit word 0x7C00 is full red",
       {.width = 2, .pixel_bits = 16},
       {0x00, 0x7C, 0xE0, 0x83},
       DibFormat::k15Bit,
       {0xFFFF0000u, 0xFF00FF00u}},
      {"grey type shows stored levels",
       {.image_type = 3, .width = 3, .pixel_bits = 8},
       {0, 7, 200},
       DibFormat::k8Bit,
       {0xFF000000u, 0xFF070707u, 0xFFC8C8C8u}},
      {"24-bit map entries are blue, green, red",
       {.map_type = 1,
        .image_type = 1,
        .map_length = 2,
        .map_bits = 24,
        .width = 2,
        .pixel_bits = 8},
       {10, 20, 30, 40, 50, 60, 1, 0},
       DibFormat::k8Bit,
       {0xFF3C3228u, 0xFF1E140Au}},
      {"16-bit map entry 0x03E0 is (0, 248, 0)",
       {.map_type = 1,
        .image_type = 1,
        .map_length = 1,
        .map_bits = 16,
        .width = 1,
        .pixel_bits = 8},
       {0xE0, 0x03, 0},
       DibFormat::k8Bit,
       {0xFF00F800u}},
      {"32-bit map entries ignore their fourth byte",
       {.map_type = 1,
        .image_type = 1,
        .map_length = 1,
        .map_bits = 32,
        .width = 1,
        .pixel_bits = 8},
       {1, 2, 3, 0, 0},
       DibFormat::k8Bit,
       {0xFF030201u}},
      {"stored map entry k is colour first index + k",
       {.map_type = 1,
        .image_type = 1,
        .first_entry = 2,
        .map_length = 1,
        .map_bits = 24,
        .width = 3,
        .pixel_bits = 8},
       {9, 8, 7, 2, 0, 1},
       DibFormat::k8Bit,
       {0xFF070809u, 0xFF000000u, 0xFF000000u}},
      {"a grey image's map is skipped, not read as pixels",
       {.map_type = 1,
        .image_type = 3,
        .map_length = 2,
        .map_bits = 24,
        .width = 1,
        .pixel_bits = 8},
       {1, 2, 3, 4, 5, 6, 99},
       DibFormat::k8Bit,
       {0xFF636363u}},
      {"a true-colour file's map is consumed",
       {.map_type = 1, .image_type = 2, .map_length = 1, .map_bits = 24, .width = 1},
       {1, 2, 3, 30, 20, 10},
       DibFormat::k24Bit,
       {0xFF0A141Eu}},
      {"32-bit pixels keep their fourth byte as alpha",
       {.width = 1, .pixel_bits = 32},
       {1, 2, 3, 0x80},
       DibFormat::k32Bit,
       {0x80030201u}},
      {"identification bytes are skipped",
       {.id_length = 3, .width = 1},
       {'a', 'b', 'c', 1, 2, 3},
       DibFormat::k24Bit,
       {0xFF030201u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(Tga(c.header, c.rest));
    ASSERT_EQ(bitmap->Width(), static_cast<int32_t>(c.pixels.size()));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    for (size_t x = 0; x < c.pixels.size(); ++x)
      EXPECT_EQ(PixelAt(*bitmap, static_cast<int32_t>(x), 0), c.pixels[x]) << "pixel " << x;
  }
}

TEST(TargaTest, ColourMapOf256EntriesGivesTheColourTable) {
  std::vector<uint8_t> rest;
  for (int i = 0; i < 256; ++i)
    rest.insert(rest.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  for (int i = 0; i < 256; ++i) rest.push_back(uint8_t(i));
  const auto bitmap = Load(Tga({.map_type = 1,
                                .image_type = 1,
                                .map_length = 256,
                                .map_bits = 24,
                                .width = 256,
                                .pixel_bits = 8},
                               rest));
  ASSERT_EQ(bitmap->Palette().size(), 256u);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(bitmap->Palette()[i], PaletteColor(uint8_t(i / 2), uint8_t(255 - i), uint8_t(i)));
}

TEST(TargaTest, RunLengthPackets) {
  // 0xFF repeats one value 128 times; a plain packet of 2 follows in the next row.
  const auto runs = Load(Tga({.image_type = 10, .width = 128, .height = 2, .descriptor = 0x20},
                             {0xFF, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0xFD, 0, 0, 0}));
  for (int32_t x = 0; x < 128; ++x) ASSERT_EQ(PixelAt(*runs, x, 0), 0xFF030201u) << x;
  EXPECT_EQ(PixelAt(*runs, 0, 1), 0xFF060504u);
  EXPECT_EQ(PixelAt(*runs, 1, 1), 0xFF090807u);
  EXPECT_EQ(PixelAt(*runs, 2, 1), 0xFF000000u);

  // A packet of 3 in a 2-pixel-wide image: its last pixel opens the next stored row.
  const auto crossing =
      Load(Tga({.image_type = 11, .width = 2, .height = 2, .pixel_bits = 8, .descriptor = 0x20},
               {0x82, 50, 0x00, 60}));
  EXPECT_EQ(PixelAt(*crossing, 1, 0), 0xFF323232u);
  EXPECT_EQ(PixelAt(*crossing, 0, 1), 0xFF323232u);
  EXPECT_EQ(PixelAt(*crossing, 1, 1), 0xFF3C3C3Cu);
}

TEST(TargaTest, BadFilesFailWithTheirMessage) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  const Case cases[] = {
      {"header shorter than 18 bytes", std::vector<uint8_t>(17, 0), kReadError},
      {"identification past the end", Tga({.id_length = 10}, {1, 2, 3}), kReadError},
      {"pixel size 12", Tga({.pixel_bits = 12}, {1, 2}), kSampleCount},
      {"pixel size 0", Tga({.image_type = 0, .pixel_bits = 0}, {}), kSampleCount},
      {"image type 0 holds no image", Tga({.image_type = 0}, {1, 2, 3}), kInvalid},
      {"undefined image type", Tga({.image_type = 7}, {1, 2, 3}), kInvalid},
      {"width 0", Tga({.width = 0}, {1, 2, 3}), kInvalid},
      {"map of 8-bit entries",
       Tga({.map_type = 1, .image_type = 1, .map_length = 1, .map_bits = 8, .pixel_bits = 8},
           {1, 0}),
       kInvalid},
      {"map cut short",
       Tga({.map_type = 1, .image_type = 1, .map_length = 4, .map_bits = 24, .pixel_bits = 8},
           {1, 2, 3}),
       kReadError},
      {"plain pixels cut short", Tga({.width = 2, .height = 2}, std::vector<uint8_t>(11, 0)),
       kReadError},
      {"run-length data cut inside a value", Tga({.image_type = 10, .width = 4}, {0x83, 1, 2}),
       kReadError},
      {"run-length data ending before the last row",
       Tga({.image_type = 10, .width = 2, .height = 2}, {0x81, 1, 2, 3}), kReadError},
      {"65535 x 65535 pixels", Tga({.width = 65535, .height = 65535}, {1, 2, 3}), kInvalid},
      {"huge run-length picture in a few bytes",
       Tga({.image_type = 10, .width = 16000, .height = 16000}, {0xFF, 1, 2, 3}), kReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<TgaGraphic>(c.file), c.message);
  }
}

TEST(TargaTest, LoadingReplacesThePreviousPicture) {
  TgaGraphic graphic;
  const auto big = Tga({.width = 2, .height = 2}, std::vector<uint8_t>(12, 9));
  ReadOnlyMemoryStream first(big.data(), big.size());
  graphic.LoadFromStream(first);
  const auto bad = Tga({.width = 2, .height = 2}, {1});
  ReadOnlyMemoryStream second(bad.data(), bad.size());
  EXPECT_THROW(graphic.LoadFromStream(second), StreamReadError);
  EXPECT_EQ(graphic.Width(), 0);
  EXPECT_EQ(graphic.Height(), 0);
}

// Bytes up to the end of the pixel data: a version-2 file ends with a 26-byte footer that may
// point at extension and developer areas behind the pixels.
size_t PictureBytes(const std::vector<uint8_t>& file) {
  static const std::string kSignature = "TRUEVISION-XFILE.";
  const size_t n = file.size();
  if (n < 44 || std::string(file.end() - 18, file.end() - 1) != kSignature) return n;
  size_t end = n - 26;
  for (const size_t at : {n - 26, n - 22}) {
    const size_t offset =
        file[at] | file[at + 1] << 8 | file[at + 2] << 16 | size_t{file[at + 3]} << 24;
    if (offset != 0) end = std::min(end, offset);
  }
  return end;
}

TEST(TargaTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("targa", Load, {kReadError, kSampleCount, kInvalid},
                       [](const std::string& file) {
                         // Map entries of 16 bits scale by 8 (31 -> 248) where other decoders widen
                         // to 255.
                         if (file == "targa/pil_p_16.tga" || file == "targa/irs_b5-cmap.tga")
                           return 8;
                         // Its listed reference shows the unused map as pixels; checked on its own
                         // below.
                         if (file == "targa/irs_b5-unused-cmap.tga") return -1;
                         return 2;
                       });
}

TEST(TargaTest, UnusedColourMapIsSkipped) {
  REQUIRE_SHARED_SAMPLES();
  // The same pixels as the file without a map, stored bottom row first after a 16-entry map.
  const auto bitmap = Load(ReadBytes(SharedPath("testimages/targa/irs_b5-unused-cmap.tga")));
  EXPECT_TRUE(MatchesReference(
      *bitmap, SharedPath("testimages/reference/targa/irs_b5-noattrib.tga.png"), 2));
}

TEST(TargaTest, MapWithFirstEntryIndexAgreesWithOtherDecoders) {
  REQUIRE_SHARED_SAMPLES();
  // Its map starts at entry 39; the top row as ImageMagick and Pillow both decode it.
  const uint32_t expected[12] = {0xFF0339FAu, 0xFF073CFAu, 0xFF1344F8u, 0xFF2454F3u,
                                 0xFF3A6FE7u, 0xFF5594CDu, 0xFF6FBAA0u, 0xFF7ED071u,
                                 0xFF85DA49u, 0xFF87DE2Cu, 0xFF88E018u, 0xFF89E00Eu};
  const auto bitmap = Load(ReadBytes(SharedPath("testimages/targa/irs_cmap_offset.tga")));
  ASSERT_EQ(bitmap->Width(), 12);
  for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(PixelAt(*bitmap, x, 0), expected[x]) << x;
}

TEST(TargaTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("targa", Load, {kReadError, kSampleCount, kInvalid}, PictureBytes);
}

TEST(TargaTest, FilesWrittenByPillow) {
  EXPECT_EQ(CheckFilesWithDecodes("targa", Load, 0), 5);
}

}  // namespace
}  // namespace tessane::test
