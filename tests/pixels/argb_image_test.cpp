// ArgbImage: sizing, filling, taking over a buffer, and the platform colour conversion.

#include "pixels/argb_image.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/errors.h"

namespace tessane {
namespace {

std::vector<Argb32> RowOf(const ArgbImage& b, int32_t y) {
  return std::vector<Argb32>(b.Row(y), b.Row(y) + b.Width());
}

TEST(ArgbImage, StartsEmpty) {
  ArgbImage b;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_TRUE(b.Surface().IsEmpty());
}

TEST(ArgbImage, ResizeRules) {
  ArgbImage b;
  b.Resize(-5, 10);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Bits(), nullptr);

  b.Resize(3, 2);
  EXPECT_EQ(b.Bounds(), (Rect{0, 0, 3, 2}));
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>(3, 0)));  // fresh buffers are all zero
  EXPECT_EQ(b.Row(1) - b.Row(0), 3);                      // rows without padding
  b.Fill(0x11223344);
  b.Resize(3, 2);  // same size: pixels stay
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>(3, 0x11223344)));

  // Beyond the size limits: an error, and the bitmap is empty at 0 x 0.
  for (auto [w, h] : {std::pair{70000, 1}, std::pair{20000, 20000}, std::pair{1, 65536}}) {
    b.Resize(3, 2);
    try {
      b.Resize(w, h);
      ADD_FAILURE() << w << " x " << h << " accepted";
    } catch (const OutOfResourcesError& e) {
      EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
    }
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(b.Bits(), nullptr);
  }
}

TEST(ArgbImage, FillAndSetAllAlpha) {
  ArgbImage b;
  b.Fill(0xFFFFFFFF);  // empty: nothing happens
  b.Resize(2, 2);
  b.Fill(0x80102030);
  b.SetAllAlpha(0xFF);
  EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>(2, 0xFF102030)));
  b.SetAllAlpha(0);
  EXPECT_EQ(RowOf(b, 0), (std::vector<Argb32>(2, 0x00102030)));
}

std::vector<std::vector<Argb32>> recycled;
void Recycle(std::vector<Argb32>&& pixels) { recycled.push_back(std::move(pixels)); }

// An adopted buffer is the image's pixels until the image lets it go, and then goes back to its
// recycler exactly once: on a new size and on destruction, never for a buffer of its own.
TEST(ArgbImage, AdoptedBufferGoesBackToItsRecyclerOnce) {
  recycled.clear();
  {
    ArgbImage b;
    std::vector<Argb32> pixels(6, 0xFF112233u);
    const Argb32* data = pixels.data();
    b.Adopt(std::move(pixels), 3, 2, Recycle);
    EXPECT_EQ(b.Bits(), data);
    EXPECT_EQ(RowOf(b, 1), (std::vector<Argb32>(3, 0xFF112233u)));
    b.Resize(3, 2);  // the same size keeps the buffer
    EXPECT_TRUE(recycled.empty());
    b.Resize(4, 4);
    ASSERT_EQ(recycled.size(), 1u);
    EXPECT_EQ(recycled[0].data(), data);
    EXPECT_EQ(RowOf(b, 3), (std::vector<Argb32>(4, 0)));
    b.Adopt(std::vector<Argb32>(1, 7), 1, 1, Recycle);
  }
  EXPECT_EQ(recycled.size(), 2u);
}

TEST(ToColor32, ConvertsPlatformColours) {
  struct Case {
    int32_t color;
    Argb32 expected;
  };
  const Case cases[] = {
      {0x000000FF, 0xFFFF0000},
      {0x0000FF00, 0xFF00FF00},
      {0x00FF0000, 0xFF0000FF},
      {0x00123456, 0xFF563412},
      {static_cast<int32_t>(0x80000005), 0xFFFFFFFF},  // window background
      {static_cast<int32_t>(0x80000008), 0xFF000000},  // window text
  };
  for (const Case& c : cases) EXPECT_EQ(ToColor32(c.color), c.expected) << std::hex << c.color;
}

}  // namespace
}  // namespace tessane
