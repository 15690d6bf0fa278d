#include <gtest/gtest.h>

#include <QImage>
#include <random>

#include "base/errors.h"
#include "formats/gif/color_quantizer.h"
#include "formats/gif/gif_graphic.h"
#include "formats/gif/gif_lzw.h"
#include "formats/png_gif_test_support.h"

namespace tessane {
namespace {

using test::MakeBitmap32;

std::vector<uint8_t> EncodeGif(const DibImage& bitmap) {
  GifGraphic gif;
  gif.SetColorReduction(8);
  gif.Assign(bitmap);
  return test::SaveBytes(gif);
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(GifWriter, EmptyBitmapGivesTheFourteenByteFile) {
  GifGraphic gif;
  EXPECT_EQ(gif.ColorReduction(), 6);
  gif.SetColorReduction(8);
  gif.Assign(DibImage{});
  EXPECT_EQ(test::SaveBytes(gif),
            Bytes({'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0x77, 0, 0, 0x3B}));
}

TEST(GifWriter, FileLayoutOfATinyBitmapByteForByte) {
  // Red, blue / blue, red: blue becomes entry 10 and red entry 11, so the pixels are 11 10 10 11.
  const DibImage bitmap =
      MakeBitmap32(2, 2, [](int x, int y) { return (x + y) % 2 == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
  std::vector<uint8_t> expected =
      Bytes({'G',  'I', 'F', '8', '7', 'a', 2, 0, 2, 0,   0x77, 0, 0,  //
             0x2C, 0,   0,   0,   0,   2,   0, 2, 0, 0x87});
  const std::vector<PaletteEntry> palette = [] {
    std::vector<PaletteEntry> p(256);
    std::copy(kReservedColors.begin(), kReservedColors.begin() + 10, p.begin());
    std::copy(kReservedColors.begin() + 10, kReservedColors.end(), p.begin() + 246);
    p[10] = PaletteColor(0, 0, 255);
    p[11] = PaletteColor(255, 0, 0);
    return p;
  }();
  for (const auto& c : palette) expected.insert(expected.end(), {c.red, c.green, c.blue});
  // Codes of 9 bits: clear 256, 11, 10, 10, 11, end 257.
  const auto tail = Bytes({8, 7, 0x00, 0x17, 0x28, 0x50, 0xB0, 0x20, 0x20, 0, 0x3B});
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(EncodeGif(bitmap), expected);
}

TEST(GifWriter, LargePicturesSurviveOtherDecoders) {
  // Noise forces many clear codes and every code width; a smooth ramp gives long strings.
  std::mt19937 random(3);
  const DibImage noise = MakeBitmap32(317, 211, [&](int, int) { return random(); });
  const DibImage ramp = MakeBitmap32(640, 90, [](int x, int y) {
    return 0xFF000000u | ((x / 3) << 16) | ((y * 2) << 8) | ((x + y) & 0xFF);
  });
  for (const DibImage* bitmap : {&noise, &ramp}) {
    const auto file = EncodeGif(*bitmap);
    GifGraphic ours;
    test::LoadBytes(ours, file);
    const auto drawn = test::DrawOnto(ours);
    EXPECT_EQ(test::QtDecode(file, "GIF"), drawn);
    // Every pixel is its nearest palette entry.
    const auto& map = ours.Images()[0].color_map;
    std::vector<PaletteEntry> palette;
    for (const auto& c : map) palette.push_back(PaletteColor(c.red, c.green, c.blue));
    SlowColorLookup lookup(palette);
    const auto source = test::OpaquePixels(*bitmap);
    for (size_t i = 0; i < source.size(); i += 7) {
      const uint32_t s = source[i];
      const GifColor& c = map[lookup.Nearest(s >> 16, s >> 8, s)];
      ASSERT_EQ(drawn[i], 0xFF000000u | (c.red << 16) | (c.green << 8) | c.blue) << i;
    }
  }
}

TEST(GifWriter, FewColoursKeepTheirExactValues) {
  // 236 distinct colours: no merge, every pixel keeps its colour.
  const DibImage bitmap = MakeBitmap32(59, 31, [](int x, int y) {
    const uint32_t i = (x * 31 + y) % 236;
    return 0xFF000000u | (i << 16) | ((i * 7 % 256) << 8) | (255 - i);
  });
  const auto file = EncodeGif(bitmap);
  EXPECT_EQ(test::QtDecode(file, "GIF"), test::OpaquePixels(bitmap));
}

TEST(GifWriter, AlphaNeverChangesTheFile) {
  std::mt19937 random(8);
  std::vector<uint32_t> colors(64 * 48);
  for (auto& c : colors) c = random() & 0x00FFFFFFu;
  const DibImage opaque =
      MakeBitmap32(64, 48, [&](int x, int y) { return colors[y * 64 + x] | 0xFF000000u; });
  const DibImage varied = MakeBitmap32(64, 48, [&](int x, int y) {
    return colors[y * 64 + x] | (static_cast<uint32_t>(x * 5 + y) << 24);
  });
  EXPECT_EQ(EncodeGif(opaque), EncodeGif(varied));
}

TEST(GifWriter, PalettedBitmapsAreWrittenAsTheyAre) {
  struct Case {
    DibFormat format;
    size_t entries;
    uint8_t screen_flags, frame_flags, code_size;
  };
  const Case cases[] = {
      {DibFormat::k1Bit, 2, 0x00, 0x80, 2},
      {DibFormat::k4Bit, 16, 0x33, 0x83, 4},
      {DibFormat::k4Bit, 5, 0x22, 0x82, 3},  // 5 entries: written as 8, code size 3
      {DibFormat::k8Bit, 256, 0x77, 0x87, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(BitsPerPixel(c.format));
    DibImage bitmap;
    bitmap.SetPixelFormat(c.format);
    bitmap.SetSize(13, 5);
    std::vector<PaletteEntry> palette;
    for (size_t i = 0; i < c.entries; ++i)
      palette.push_back(
          PaletteColor(static_cast<uint8_t>(i * 3), 200, static_cast<uint8_t>(255 - i)));
    bitmap.SetPalette(palette);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 13; ++x) {
        const uint32_t v = static_cast<uint32_t>((x * 3 + y) % c.entries);
        const int bits = BitsPerPixel(c.format);
        const size_t bit = static_cast<size_t>(x) * bits;
        bitmap.ScanLine(y)[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
      }
    const auto file = EncodeGif(bitmap);
    const size_t table = size_t{3} << (c.frame_flags & 7) << 1;
    EXPECT_EQ(file[10], c.screen_flags);
    EXPECT_EQ(file[22], c.frame_flags);
    EXPECT_EQ(file[23 + table], c.code_size);
    EXPECT_EQ(test::QtDecode(file, "GIF"), test::OpaquePixels(bitmap));
  }
}

TEST(GifLzw, ClearCodeFollowsCode4094AndTheStreamEndsWithTheEndCode) {
  std::mt19937 random(12);
  std::vector<uint8_t> pixels(60000);
  for (auto& p : pixels) p = static_cast<uint8_t>(random());
  std::vector<uint8_t> coded;
  EncodeGifLzw(pixels.data(), pixels.size(), 8, coded);
  std::vector<uint8_t> data;
  for (size_t i = 0; coded[i] != 0; i += 1 + coded[i])
    data.insert(data.end(), coded.begin() + i + 1, coded.begin() + i + 1 + coded[i]);
  // Walk the codes as a decoder would, counting the strings it defines.
  size_t bit = 0;
  int width = 9, clears = 0;
  uint32_t next = 258;
  bool first = true, ended = false;
  while (!ended && bit + width <= data.size() * 8) {
    uint32_t code = 0;
    for (int k = 0; k < width; ++k, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1u) << k;
    if (code == 256) {
      if (!first) {
        EXPECT_EQ(next, 4095u) << "clear code after code " << next - 1;
      }
      ++clears;
      width = 9;
      next = 258;
      first = true;
      continue;
    }
    if (code == 257) {
      ended = true;
      break;
    }
    if (!first && next < 4096 && ++next == (1u << width) && width < 12) ++width;
    first = false;
  }
  EXPECT_TRUE(ended);
  EXPECT_GE(clears, 10);
  EXPECT_LT(data.size() * 8 - bit, 8u) << "only padding follows the end code";
}

TEST(GifWriter, IndexOutsideTheColourTableWritesNothing) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k8Bit);
  bitmap.SetSize(2, 1);
  bitmap.SetPalette({PaletteColor(1, 1, 1), PaletteColor(2, 2, 2)});
  bitmap.ScanLine(0)[1] = 2;
  GifGraphic gif;
  gif.Assign(bitmap);
  MemoryStream stream;
  try {
    gif.SaveToStream(stream);
    ADD_FAILURE() << "saved";
  } catch (const InvalidImageError& e) {
    EXPECT_STREQ(e.what(), "Color not in color table");
  }
  EXPECT_TRUE(stream.Bytes().empty());
}

}  // namespace
}  // namespace tessane
