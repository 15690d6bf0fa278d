// Icons: the public samples against their references, which image is chosen, and how it is drawn
// (through its mask, blended by its alpha, at the rectangle's size).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/errors.h"
#include "formats/ico/icon_graphic.h"
#include "formats/reference_pixels.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Pixels;
using test::Render;

// A bitmap image of an icon: header (height doubled), colour table, pixels and AND mask, rows
// bottom-up. `argb` is top-down; with 8 bits the colours become a table of the distinct values.
// Pixels whose alpha is 0 get their mask bit set.
std::vector<uint8_t> DibImage(int32_t w, int32_t h, int bits, const std::vector<uint32_t>& argb) {
  std::vector<uint32_t> table;
  if (bits == 8)
    for (uint32_t c : argb)
      if (std::find(table.begin(), table.end(), c & 0xFFFFFF) == table.end())
        table.push_back(c & 0xFFFFFF);
  const size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  std::vector<uint8_t> b(40 + 4 * table.size() + (stride + maskStride) * h, 0);
  StoreLe32(&b[0], 40);
  StoreLe32(&b[4], static_cast<uint32_t>(w));
  StoreLe32(&b[8], static_cast<uint32_t>(2 * h));
  StoreLe16(&b[12], 1);
  StoreLe16(&b[14], static_cast<uint32_t>(bits));
  StoreLe32(&b[32], static_cast<uint32_t>(table.size()));
  for (size_t i = 0; i < table.size(); ++i) StoreLe32(&b[40 + 4 * i], table[i]);
  const size_t pixels = 40 + 4 * table.size(), mask = pixels + stride * h;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t fileRow = h - 1 - y;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t c = argb[static_cast<size_t>(y) * w + x];
      uint8_t* p = b.data() + pixels + stride * fileRow;
      if (bits == 32) {
        StoreLe32(&b[pixels + stride * fileRow + 4 * x], c);
      } else if (bits == 24) {
        p[3 * x] = static_cast<uint8_t>(c);
        p[3 * x + 1] = static_cast<uint8_t>(c >> 8);
        p[3 * x + 2] = static_cast<uint8_t>(c >> 16);
      } else {
        p[x] = static_cast<uint8_t>(std::find(table.begin(), table.end(), c & 0xFFFFFF) -
                                    table.begin());
      }
      if ((c >> 24) == 0) b[mask + maskStride * fileRow + x / 8] |= 0x80 >> (x % 8);
    }
  }
  return b;
}

std::vector<uint8_t> Solid(int32_t w, int32_t h, int bits, uint32_t argb) {
  return DibImage(w, h, bits, std::vector<uint32_t>(static_cast<size_t>(w) * h, argb));
}

struct Entry {
  std::vector<uint8_t> image;
  uint8_t width, height;
};

std::vector<uint8_t> MakeIco(const std::vector<Entry>& entries, uint16_t type = 1) {
  std::vector<uint8_t> b(6 + 16 * entries.size(), 0);
  StoreLe16(&b[2], type);
  StoreLe16(&b[4], static_cast<uint32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t d = 6 + 16 * i;
    b[d] = entries[i].width;
    b[d + 1] = entries[i].height;
    StoreLe16(&b[d + 4], 1);
    StoreLe32(&b[d + 8], static_cast<uint32_t>(entries[i].image.size()));
    StoreLe32(&b[d + 12], static_cast<uint32_t>(b.size()));
    b.insert(b.end(), entries[i].image.begin(), entries[i].image.end());
  }
  return b;
}

std::unique_ptr<IconGraphic> Load(const std::vector<uint8_t>& bytes) {
  auto icon = std::make_unique<IconGraphic>();
  ReadOnlyMemoryStream in(bytes.data(), bytes.size());
  icon->LoadFromStream(in);
  return icon;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
  try {
    Load(bytes);
  } catch (const InvalidImageError& e) {
    return e.what();
  }
  return "loaded";
}

TEST(IconSamples, DrawTheChosenImageLikeTheReferences) {
  REQUIRE_SHARED_SAMPLES();
  int compared = 0;
  for (const test::ManifestRow& row : test::RowsOf("ico")) {
    SCOPED_TRACE(row.file);
    IconGraphic icon;
    std::string error;
    try {
      icon.LoadFromFile(test::SharedPath("testimages/" + row.file));
    } catch (const InvalidImageError& e) {
      error = e.what();
    }
    if (row.expected == "must fail cleanly" || !error.empty()) {
      EXPECT_NE(row.expected, "loads") << error;
      EXPECT_EQ(error, "Icon image is not valid");
      continue;
    }
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_EQ(icon.Height(), 32);
    // Every drawing, whatever the rectangle, stays inside the target.
    Render(icon, 7, 5, 0xFF000000u);
    if (row.expected != "loads" || !test::HasReference(row)) continue;
    // The reference is the image the icon should choose, at its own size.
    const Pixels reference = test::LoadReference(test::SharedPath("testimages/" + row.reference));
    EXPECT_EQ(icon.ImageWidth(), reference.width);
    EXPECT_EQ(icon.ImageHeight(), reference.height);
    for (uint32_t background : {0xFF000000u, 0xFFFFFFFFu, 0xFF3080C0u}) {
      const test::Difference d =
          test::Compare(Render(icon, icon.ImageWidth(), icon.ImageHeight(), background),
                        test::Over(reference, background));
      EXPECT_GE(d.max, 0);
      EXPECT_LE(d.max, 1) << "over " << std::hex << background << " at " << std::dec << d.x << ","
                          << d.y;
    }
    ++compared;
  }
  EXPECT_GT(compared, 12);
}

TEST(Icon, HeaderChecks) {
  const std::vector<uint8_t> image = Solid(32, 32, 24, 0xFF102030u);
  EXPECT_EQ(LoadError(MakeIco({{image, 32, 32}}, 1)), "loaded");
  EXPECT_EQ(LoadError(MakeIco({{image, 32, 32}}, 0)), "loaded");
  EXPECT_EQ(LoadError(MakeIco({{image, 32, 32}}, 2)), "Icon image is not valid");
  EXPECT_EQ(LoadError(MakeIco({{image, 32, 32}}, 3)), "Icon image is not valid");
  EXPECT_EQ(LoadError({}), "Icon image is not valid");
  EXPECT_EQ(LoadError({0, 0, 1, 0, 1}), "Icon image is not valid");
  EXPECT_EQ(LoadError(MakeIco({})), "Icon image is not valid");
  std::vector<uint8_t> pastTheEnd = MakeIco({{image, 32, 32}});
  StoreLe32(&pastTheEnd[6 + 12], 0x7FFFFFFF);
  EXPECT_EQ(LoadError(pastTheEnd), "Icon image is not valid");
  std::vector<uint8_t> hugeImage = MakeIco({{image, 32, 32}});
  StoreLe32(&hugeImage[22 + 4], 60000);
  EXPECT_EQ(LoadError(hugeImage), "Icon image is not valid");
}

TEST(Icon, FailedLoadKeepsTheIcon) {
  auto icon = Load(MakeIco({{Solid(32, 32, 24, 0xFF102030u), 32, 32}}));
  const std::vector<uint8_t> cursor = MakeIco({{Solid(16, 16, 24, 0xFFFFFFFFu), 16, 16}}, 2);
  ReadOnlyMemoryStream in(cursor.data(), cursor.size());
  EXPECT_THROW(icon->LoadFromStream(in), InvalidImageError);
  EXPECT_EQ(icon->ImageWidth(), 32);
  EXPECT_EQ(Render(*icon, 32, 32, 0).At(0, 0), 0xFF102030u);
}

// The 32 x 32 image with the deepest colour, else the closest size (larger first); a damaged
// image gives way to the next best.
TEST(Icon, ChoosesTheBestFittingImage) {
  std::vector<uint8_t> damaged = Solid(32, 32, 32, 0xFF0000FFu);
  damaged.resize(100);
  const struct {
    const char* what;
    std::vector<Entry> entries;
    int32_t size;
    uint32_t colour;
  } cases[] = {
      {"32 x 32 in the deepest colour",
       {{Solid(16, 16, 32, 0xFF000001u), 16, 16},
        {Solid(32, 32, 8, 0xFF000002u), 32, 32},
        {Solid(32, 32, 32, 0xFF000003u), 32, 32},
        {Solid(48, 48, 32, 0xFF000004u), 48, 48}},
       32,
       0xFF000003u},
      {"closest size, the larger on a tie",
       {{Solid(16, 16, 32, 0xFF000001u), 16, 16}, {Solid(48, 48, 24, 0xFF000002u), 48, 48}},
       48,
       0xFF000002u},
      {"closest size",
       {{Solid(64, 64, 32, 0xFF000001u), 64, 64}, {Solid(24, 24, 8, 0xFF000002u), 24, 24}},
       24,
       0xFF000002u},
      {"directory sizes are not trusted",
       {{Solid(16, 16, 24, 0xFF000001u), 32, 32}, {Solid(30, 30, 24, 0xFF000002u), 0, 0}},
       30,
       0xFF000002u},
      {"damaged best image",
       {{damaged, 32, 32}, {Solid(16, 16, 24, 0xFF000005u), 16, 16}},
       16,
       0xFF000005u},
  };
  for (const auto& c : cases) {
    auto icon = Load(MakeIco(c.entries));
    EXPECT_EQ(icon->ImageWidth(), c.size) << c.what;
    EXPECT_EQ(Render(*icon, 32, 32, 0).At(5, 5), c.colour) << c.what;
  }
}

TEST(Icon, MaskAndAlphaDecideWhatIsDrawn) {
  const uint32_t background = 0xFF00FF00u;
  // 8-bit image: the second pixel is masked out.
  auto masked = Load(MakeIco({{DibImage(2, 1, 8, {0xFFFF0000u, 0x00FFFFFFu}), 2, 1}}));
  const Pixels a = Render(*masked, 2, 1, background);
  EXPECT_EQ(a.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(a.At(1, 0), background);

  // 32-bit image with alpha: opaque, half and fully transparent pixels; the mask is not used.
  std::vector<uint8_t> image = DibImage(3, 1, 32, {0xFFFF0000u, 0x800000FFu, 0x00FFFFFFu});
  auto alpha = Load(MakeIco({{image, 3, 1}}));
  const Pixels b = Render(*alpha, 3, 1, background);
  EXPECT_EQ(b.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(b.At(1, 0) & 0xFFFFFF, 0x007F80u);  // (s * a + (255 - a) * d + 255) >> 8
  EXPECT_EQ(b.At(2, 0), background);

  // 32-bit image whose alpha bytes are all zero: the mask decides and colours are opaque.
  std::vector<uint8_t> zeroAlpha = DibImage(2, 1, 32, {0x00FF0000u, 0x000000FFu});
  zeroAlpha[40 + 8] &= 0x7F;  // unmask the first pixel
  auto noAlpha = Load(MakeIco({{zeroAlpha, 2, 1}}));
  const Pixels c = Render(*noAlpha, 2, 1, background);
  EXPECT_EQ(c.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(c.At(1, 0), background);
}

TEST(Icon, DrawsAtTheRectangleSize) {
  // 2 x 2 checker enlarged to 4 x 4: every pixel becomes a 2 x 2 block.
  auto small = Load(
      MakeIco({{DibImage(2, 2, 24, {0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu, 0xFFFF0000u}), 2, 2}}));
  const Pixels big = Render(*small, 4, 4, 0);
  EXPECT_EQ(big.At(1, 1), 0xFFFF0000u);
  EXPECT_EQ(big.At(2, 1), 0xFF0000FFu);
  EXPECT_EQ(big.At(3, 3), 0xFFFF0000u);

  // Black and white columns reduced to half: each target pixel averages its two columns; a
  // transparent half lowers the coverage instead of darkening the colour.
  std::vector<uint32_t> columns;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) columns.push_back(x % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  auto striped = Load(MakeIco({{DibImage(4, 4, 32, columns), 4, 4}}));
  EXPECT_EQ(Render(*striped, 2, 2, 0xFF000000u).At(1, 1), 0xFF808080u);
  std::vector<uint32_t> halfCovered;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) halfCovered.push_back(x % 2 ? 0xFFFFFFFFu : 0x00000000u);
  auto half = Load(MakeIco({{DibImage(4, 4, 32, halfCovered), 4, 4}}));
  EXPECT_EQ(Render(*half, 2, 2, 0xFF000000u).At(0, 0) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(Render(*half, 2, 2, 0xFFFFFFFFu).At(0, 0) & 0xFFFFFF, 0xFFFFFFu);

  // Parts of the rectangle outside the target are clipped.
  Pixels clipped{3, 3, std::vector<uint32_t>(9, 0)};
  small->Draw(ArgbView{clipped.argb.data(), 3, 3, 3}, Rect{-2, -2, 6, 6});
  EXPECT_EQ(clipped.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(clipped.At(2, 0), 0xFF0000FFu);
}

}  // namespace
}  // namespace tessane
