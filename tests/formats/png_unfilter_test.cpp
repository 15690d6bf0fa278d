// Row filters on reading: pictures made here with every filter type on consecutive rows, for the
// pixel sizes that have their own unfiltering loops (3 and 4 bytes) and for others.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/stream.h"
#include "formats/png/png_graphic.h"
#include "formats/png_gif_test_support.h"

namespace tessane {
namespace {

int PaethOf(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The PNG of `raw` rows (colour type, depth) with row y filtered by type y % 5.
std::vector<uint8_t> MakePng(int width, int height, int colorType, int depth, size_t bpp,
                             const std::vector<std::vector<uint8_t>>& raw) {
  std::vector<uint8_t> stream;
  std::vector<uint8_t> prior(raw[0].size(), 0);
  for (int y = 0; y < height; ++y) {
    const std::vector<uint8_t>& row = raw[y];
    const int type = y % 5;
    stream.push_back(static_cast<uint8_t>(type));
    for (size_t i = 0; i < row.size(); ++i) {
      const int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
      const int predicted[5] = {0, a, b, (a + b) >> 1, PaethOf(a, b, c)};
      stream.push_back(static_cast<uint8_t>(row[i] - predicted[type]));
    }
    prior = row;
  }
  uLongf size = compressBound(static_cast<uLong>(stream.size()));
  std::vector<uint8_t> idat(size);
  EXPECT_EQ(compress(idat.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
  idat.resize(size);
  return test::MakePng(
      {{"IHDR", test::Ihdr(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                           static_cast<uint8_t>(depth), static_cast<uint8_t>(colorType))},
       {"IDAT", idat},
       {"IEND", {}}});
}

struct Layout {
  int colorType, depth;
  size_t bpp;
};

TEST(PngUnfilter, EveryFilterTypeRestoresTheRowsForEveryPixelSize) {
  // RGB and RGBA have their own loops; 16-bit RGB, grey + alpha and grey take the byte loops.
  const Layout layouts[] = {{2, 8, 3}, {6, 8, 4}, {2, 16, 6}, {4, 8, 2}, {0, 8, 1}};
  std::mt19937 rng(7);
  for (const Layout& l : layouts) {
    for (int width : {1, 2, 5, 33}) {
      SCOPED_TRACE(testing::Message()
                   << "colour type " << l.colorType << " depth " << l.depth << " width " << width);
      const int height = 11;  // each filter type on two rows at least, the first row among them
      std::vector<std::vector<uint8_t>> raw(height);
      for (auto& row : raw) {
        row.resize(static_cast<size_t>(width) * l.bpp);
        // Extremes as well as noise: the predictors' ties and wrap-arounds show there.
        for (auto& v : row) v = static_cast<uint8_t>(rng() % 4 == 0 ? (rng() % 2) * 255 : rng());
      }
      PngGraphic png;
      MemoryStream stream(MakePng(width, height, l.colorType, l.depth, l.bpp, raw));
      png.LoadFromStream(stream);
      const std::vector<uint32_t>& pixels = png.Pixels();
      ASSERT_EQ(pixels.size(), static_cast<size_t>(width) * height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          const uint8_t* p = raw[y].data() + x * l.bpp;
          uint32_t want = 0;
          switch (l.colorType) {
            case 2:
              want = l.depth == 8 ? 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2]
                                  : 0xFF000000u | (p[0] << 16) | (p[2] << 8) | p[4];
              break;
            case 6:
              want = (uint32_t{p[3]} << 24) | (p[0] << 16) | (p[1] << 8) | p[2];
              break;
            case 4:
              want = (uint32_t{p[1]} << 24) | (p[0] << 16) | (p[0] << 8) | p[0];
              break;
            default:
              want = 0xFF000000u | (p[0] << 16) | (p[0] << 8) | p[0];
          }
          ASSERT_EQ(pixels[static_cast<size_t>(y) * width + x], want) << "x " << x << " y " << y;
        }
    }
  }
}

}  // namespace
}  // namespace tessane
