#include <gtest/gtest.h>
#include <libdeflate.h>

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <random>
#include <thread>

#include "base/errors.h"
#include "formats/png/png_graphic.h"
#include "formats/png_gif_test_support.h"

namespace tessane {
namespace {

using test::Deflate;
using test::Inflate;
using test::MakeBitmap32;
using test::TestChunk;

/// Splits a PNG file into chunks, checking the signature and every CRC.
std::vector<TestChunk> ParseChunks(const std::vector<uint8_t>& file) {
  const std::vector<uint8_t> signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<TestChunk> chunks;
  if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) {
    ADD_FAILURE() << "no PNG signature";
    return chunks;
  }
  for (size_t pos = 8; pos + 12 <= file.size();) {
    const uint32_t length =
        (file[pos] << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
    const uint8_t* name = file.data() + pos + 4;
    const uint8_t* crc = name + 4 + length;
    EXPECT_EQ(crc32(0, name, 4 + length),
              uint32_t((crc[0] << 24) | (crc[1] << 16) | (crc[2] << 8) | crc[3]));
    chunks.push_back({std::string(name, name + 4), std::vector<uint8_t>(name + 4, crc)});
    pos += 12 + length;
  }
  return chunks;
}

std::vector<std::string> Names(const std::vector<TestChunk>& chunks) {
  std::vector<std::string> names;
  for (const auto& c : chunks) names.push_back(c.name);
  return names;
}

/// The IDAT data of all chunks, inflated.
std::vector<uint8_t> ImageData(const std::vector<TestChunk>& chunks) {
  std::vector<uint8_t> compressed;
  for (const auto& c : chunks)
    if (c.name == "IDAT") compressed.insert(compressed.end(), c.data.begin(), c.data.end());
  return Inflate(compressed);
}

/// libdeflate's zlib stream of `raw` at `level`, as the writer makes it in one call.
std::vector<uint8_t> OneShotDeflate(const std::vector<uint8_t>& raw, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_zlib_compress_bound(c, raw.size()));
  out.resize(libdeflate_zlib_compress(c, raw.data(), raw.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

std::vector<uint8_t> Encode(const DibImage& bitmap, uint8_t filters, int level = 8) {
  PngGraphic png;
  png.SetFilters(filters);
  png.SetCompressionLevel(level);
  png.Assign(bitmap);
  return test::SaveBytes(png);
}

DibImage Rgb24(int32_t w, int32_t h, const std::vector<uint8_t>& rgb) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k24Bit);
  bitmap.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        bitmap.ScanLine(y)[3 * x + c] = rgb[3 * (static_cast<size_t>(y) * w + x) + 2 - c];
  return bitmap;
}

TEST(PngWriter, FileLayoutOfASmallBitmap) {
  // Row 0: Sub counts 2, Up 0 -> Sub. Row 1: Sub counts 2, Up 3 -> Up.
  const DibImage bitmap = Rgb24(2, 2, {10, 20, 30, 10, 20, 30, 11, 21, 31, 50, 60, 70});
  const auto file = Encode(bitmap, PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp, 8);
  const auto chunks = ParseChunks(file);
  ASSERT_EQ(Names(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].data, (std::vector<uint8_t>{0, 0, 0, 2, 0, 0, 0, 2, 8, 2, 0, 0, 0}));
  const std::vector<uint8_t> rows = {1, 10, 20, 30, 0, 0, 0, 2, 1, 1, 1, 40, 40, 40};
  // One zlib stream (32 KiB window) of the rows, made in one call by libdeflate at the same
  // level, byte for byte.
  EXPECT_EQ(Inflate(chunks[1].data), rows);
  EXPECT_EQ(chunks[1].data[0], 0x78);
  EXPECT_EQ(chunks[1].data, OneShotDeflate(rows, 8));
  EXPECT_TRUE(chunks[2].data.empty());
  EXPECT_EQ(file.size(), 8 + 25 + 12 + chunks[1].data.size() + 12);
}

TEST(PngWriter, RowFilterChoice) {
  struct Case {
    const char* rule;
    int32_t w, h;
    std::vector<uint8_t> rgb;
    uint8_t filters;
    std::vector<uint8_t> row_types;
  };
  const uint8_t sub_up = PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp;
  const std::vector<Case> cases = {
      {"1 x 1, blue equals green: both count 1, tie keeps Sub", 1, 1, {9, 5, 5}, sub_up, {1}},
      {"1 x 1, blue equals red", 1, 1, {5, 9, 5}, sub_up, {1}},
      {"1 x 1, three different values: filter 0", 1, 1, {1, 2, 3}, sub_up, {0}},
      {"nothing repeats in either candidate: filter 0", 2, 1, {1, 2, 3, 7, 11, 20}, sub_up, {0}},
      {"Up wins on the second row",
       2,
       2,
       {10, 20, 30, 10, 20, 30, 11, 21, 31, 50, 60, 70},
       sub_up,
       {1, 2}},
      {"Up outside the set",
       2,
       2,
       {10, 20, 30, 10, 20, 30, 11, 21, 31, 50, 60, 70},
       PngGraphic::kPngFilterSub,
       {1, 1}},
      {"empty set", 2, 2, {10, 20, 30, 10, 20, 30, 11, 21, 31, 50, 60, 70}, 0, {0, 0}},
  };
  for (const auto& c : cases) {
    const auto data = ImageData(ParseChunks(Encode(Rgb24(c.w, c.h, c.rgb), c.filters)));
    const size_t stride = 1 + 3 * static_cast<size_t>(c.w);
    ASSERT_EQ(data.size(), stride * c.h) << c.rule;
    std::vector<uint8_t> types;
    for (int32_t y = 0; y < c.h; ++y) types.push_back(data[y * stride]);
    EXPECT_EQ(types, c.row_types) << c.rule;
  }
}

TEST(PngWriter, EveryPixelFormatRoundTrips) {
  std::mt19937 random(5);
  const DibFormat formats[] = {DibFormat::k1Bit,  DibFormat::k4Bit,  DibFormat::k8Bit,
                               DibFormat::k15Bit, DibFormat::k16Bit, DibFormat::k24Bit,
                               DibFormat::k32Bit};
  for (const DibFormat format : formats) {
    SCOPED_TRACE(BitsPerPixel(format));
    // Odd sizes leave padding bits in the last byte of paletted rows.
    DibImage bitmap = MakeBitmap32(37, 13, [&](int x, int y) {
      return static_cast<uint32_t>(random()) ^ static_cast<uint32_t>(x * y * 977);
    });
    bitmap.SetPixelFormat(format);
    if (format == DibFormat::k4Bit) {
      std::vector<PaletteEntry> palette;
      for (int i = 0; i < 16; ++i) palette.push_back(PaletteColor(i * 16, 255 - i * 7, i * i));
      bitmap.SetPalette(palette);
    }
    const auto expected = test::OpaquePixels(bitmap);
    const auto file = Encode(bitmap, 0x1F);  // all five filters take part
    const auto chunks = ParseChunks(file);
    const bool paletted = BitsPerPixel(format) <= 8;
    EXPECT_EQ(chunks[0].data[8], paletted ? BitsPerPixel(format) : 8);
    EXPECT_EQ(chunks[0].data[9], paletted ? 3 : 2);
    EXPECT_EQ(chunks[1].name, paletted ? "PLTE" : "IDAT");
    EXPECT_EQ(test::QtDecode(file, "PNG"), expected);
    PngGraphic png;
    test::LoadBytes(png, file);
    EXPECT_EQ(test::DrawOnto(png), expected);
  }
}

TEST(PngWriter, PaletteCoversEveryIndexUsed) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k8Bit);
  bitmap.SetSize(3, 1);
  bitmap.SetPalette({PaletteColor(1, 2, 3), PaletteColor(4, 5, 6)});
  bitmap.ScanLine(0)[0] = 1;
  bitmap.ScanLine(0)[2] = 9;  // beyond the colour table: black
  const auto file = Encode(bitmap, PngGraphic::kPngFilterSub);
  const auto chunks = ParseChunks(file);
  EXPECT_EQ(chunks[1].data.size(), 3u * 10);
  EXPECT_EQ(test::QtDecode(file, "PNG"),
            (std::vector<uint32_t>{0xFF040506u, 0xFF010203u, 0xFF000000u}));
}

TEST(PngWriter, TransparentBitmapGetsTRNS) {
  const uint32_t key = 0x00302010u;  // platform colour value: red 0x10, green 0x20, blue 0x30
  DibImage rgb = Rgb24(2, 1, {0x10, 0x20, 0x30, 1, 2, 3});
  rgb.SetTransparent(true, key);
  const auto rgb_chunks = ParseChunks(Encode(rgb, PngGraphic::kPngFilterSub));
  ASSERT_EQ(Names(rgb_chunks), (std::vector<std::string>{"IHDR", "tRNS", "IDAT", "IEND"}));
  EXPECT_EQ(rgb_chunks[1].data, (std::vector<uint8_t>{0, 0x10, 0, 0x20, 0, 0x30}));

  DibImage indexed;
  indexed.SetPixelFormat(DibFormat::k8Bit);
  indexed.SetSize(3, 1);
  indexed.SetPalette(
      {PaletteColor(9, 9, 9), PaletteColor(0x10, 0x20, 0x30), PaletteColor(7, 7, 7)});
  for (int x = 0; x < 3; ++x) indexed.ScanLine(0)[x] = static_cast<uint8_t>(x);
  indexed.SetTransparent(true, key);
  const auto file = Encode(indexed, PngGraphic::kPngFilterSub);
  const auto chunks = ParseChunks(file);
  ASSERT_EQ(Names(chunks), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[2].data, (std::vector<uint8_t>{255, 0}));
  PngGraphic png;
  test::LoadBytes(png, file);
  EXPECT_EQ(test::DrawOnto(png, 0xFFABCDEFu),
            (std::vector<uint32_t>{0xFF090909u, 0xFFABCDEFu, 0xFF070707u}));
}

TEST(PngWriter, LongStreamsSplitIntoIdatChunksOf65535Bytes) {
  std::mt19937 random(11);
  const DibImage noise = MakeBitmap32(300, 300, [&](int, int) { return random(); });
  const auto file = Encode(noise, PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp);
  const auto chunks = ParseChunks(file);
  std::vector<size_t> sizes;
  for (const auto& c : chunks)
    if (c.name == "IDAT") sizes.push_back(c.data.size());
  ASSERT_GE(sizes.size(), 3u);
  for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 65535u);
  EXPECT_LT(sizes.back(), 65535u);
  EXPECT_EQ(test::QtDecode(file, "PNG"), test::OpaquePixels(noise));
}

TEST(PngWriter, EmptyBitmapWritesNothingAndDefaultsHold) {
  PngGraphic png;
  EXPECT_EQ(png.Filters(), PngGraphic::kPngFilterSub);
  EXPECT_EQ(png.CompressionLevel(), 7);
  png.Assign(DibImage{});
  EXPECT_TRUE(test::SaveBytes(png).empty());
  EXPECT_EQ(png.Width(), 0);

  // The defaults give Sub rows and level 7 (libdeflate's 7).
  const DibImage bitmap = Rgb24(2, 1, {4, 4, 4, 4, 4, 4});
  png.Assign(bitmap);
  const auto chunks = ParseChunks(test::SaveBytes(png));
  EXPECT_EQ(chunks[1].data, OneShotDeflate({1, 4, 4, 4, 0, 0, 0}, 7));
}

TEST(PngWriter, ZlibLevelsMapToLibdeflateLevels) {
  std::mt19937 random(5);
  const DibImage noise = MakeBitmap32(40, 30, [&](int, int) { return random() & 0xFF0F0F0Fu; });
  for (const auto& [level, expected] : {std::pair{0, 0}, {1, 1}, {6, 6}, {7, 7}, {8, 8}, {9, 9}}) {
    const auto chunks =
        ParseChunks(Encode(noise, PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp, level));
    ASSERT_EQ(Names(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"})) << level;
    EXPECT_EQ(chunks[1].data, OneShotDeflate(Inflate(chunks[1].data), expected)) << level;
  }
}

TEST(PngWriter, BuffersKeptFromAnEarlierPictureLeaveNoTrace) {
  // A thread keeps its row and stream buffers for the next picture; a smaller picture after a
  // larger one must come out exactly as it does on a thread that never wrote one.
  std::mt19937 random(11);
  const DibImage large = MakeBitmap32(300, 200, [&](int, int) { return random() | 0xFF000000u; });
  const DibImage small =
      MakeBitmap32(17, 9, [](int x, int y) { return 0xFF000000u | (x * 7 + y); });
  const uint8_t filters = PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp;
  std::vector<uint8_t> fresh;
  std::thread([&] { fresh = Encode(small, filters); }).join();
  std::vector<uint8_t> after_large;
  std::thread([&] {
    (void)Encode(large, filters);
    after_large = Encode(small, filters);
  }).join();
  EXPECT_EQ(after_large, fresh);
  EXPECT_EQ(Encode(small, filters), fresh);
}

TEST(PngWriter, PicturesAboveTheOneShotBoundStreamThroughZlib) {
  // 4200 x 4000 RGB: 50,404,000 bytes of filtered rows, above the 48 MiB bound. Level 1 keeps
  // zlib quick; its stream differs from libdeflate's at every level.
  DibImage grey;
  grey.SetPixelFormat(DibFormat::k24Bit);
  grey.SetSize(4200, 4000);
  for (int32_t y = 0; y < grey.Height(); ++y)
    std::memset(grey.ScanLine(y), static_cast<int>(y % 251), size_t{3} * grey.Width());
  const auto chunks =
      ParseChunks(Encode(grey, PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp, 1));
  std::vector<uint8_t> stream;
  size_t idats = 0;
  for (const auto& c : chunks) {
    if (c.name != "IDAT") continue;
    stream.insert(stream.end(), c.data.begin(), c.data.end());
    ++idats;
    if (stream.size() % 65535 != 0) {
      EXPECT_EQ(&c, &chunks[chunks.size() - 2]);  // only the last chunk is shorter
    }
  }
  EXPECT_GT(idats, 1u);
  const auto rows = Inflate(stream);
  ASSERT_EQ(rows.size(), size_t{4000} * (3 * 4200 + 1));
  EXPECT_EQ(stream, Deflate(rows, 1));
}

}  // namespace
}  // namespace tessane
