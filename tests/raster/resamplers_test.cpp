// Worked values of the stretch transfer and of every resampler, through the bitmap's filter.

#include <gtest/gtest.h>

#include <vector>

#include "pixels/argb_image.h"
#include "raster/draft_resampler.h"
#include "raster/filters.h"
#include "raster/kernel_resampler.h"
#include "raster/linear_resampler.h"
#include "raster/nearest_resampler.h"
#include "raster/stretch.h"
#include "raster_test_util.h"

namespace tessane {
namespace {

using test::BlueRow;
using test::FirstDifference;
using test::MakeFromRows;
using test::MakeNoise;
using test::MakeSolid;

// Stretches `src` (whole, or srcRect) to a fresh dstW x dstH bitmap with the given filter.
void Stretch(const ArgbImage& src, Filter filter, ArgbImage& dst, int32_t dstW, int32_t dstH,
             const Rect* srcRect = nullptr) {
  dst.Resize(dstW, dstH);
  StretchTo(src, dst, dst.Bounds(), srcRect ? *srcRect : src.Bounds(), *MakeResampler(filter));
}

// A one-row bitmap whose pixel x holds the word x (so nearest picks can be read back).
void IndexRow(ArgbImage& bitmap, int32_t width, int32_t height = 1) {
  bitmap.Resize(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) bitmap.Row(y)[x] = static_cast<Argb32>(x);
}

TEST(NearestStretch, PicksTheColumnUnderEachLeftEdge) {
  struct Case {
    int32_t srcWidth, rectLeft, rectRight, dstWidth;
    std::vector<Argb32> expected;
  };
  const Case cases[] = {
      {5, 0, 5, 2, {0, 2}},       {3, 0, 3, 7, {0, 0, 0, 1, 1, 2, 2}},
      {5, 0, 5, 1, {2}},     // one column: the middle one
      {9, 2, 7, 1, {4}},     // (Left + Right - 1) div 2
      {9, 4, 9, 2, {4, 6}},  // offset rectangle
      {6, 0, 6, 4, {0, 1, 3, 4}},
  };
  for (const Case& c : cases) {
    ArgbImage src, dst;
    IndexRow(src, c.srcWidth, 2);
    const Rect rect{c.rectLeft, 0, c.rectRight, 2};
    Stretch(src, Filter::kNone, dst, c.dstWidth, 2, &rect);
    EXPECT_EQ(test::RowOf(dst, 0), c.expected) << c.srcWidth << " -> " << c.dstWidth;
  }
}

TEST(NearestStretch, ScaleIsSinglePrecisionButTheProductIsNot) {
  // 2196 -> 387: column 43 must take 243; multiplying in single precision would give 244.
  ArgbImage src, dst;
  IndexRow(src, 2196);
  Stretch(src, Filter::kNone, dst, 387, 1);
  EXPECT_EQ(dst.Row(0)[43], 243u);
}

TEST(NearestStretch, RowsMapLikeColumns) {
  ArgbImage src, dst;
  src.Resize(1, 3);
  for (int32_t y = 0; y < 3; ++y) src.Row(y)[0] = static_cast<Argb32>(y);
  Stretch(src, Filter::kNone, dst, 2, 7);
  std::vector<Argb32> rows;
  for (int32_t y = 0; y < 7; ++y) {
    rows.push_back(dst.Row(y)[0]);
    EXPECT_EQ(dst.Row(y)[1], dst.Row(y)[0]);
  }
  EXPECT_EQ(rows, (std::vector<Argb32>{0, 0, 0, 1, 1, 2, 2}));
}

TEST(LinearStretch, TwoByTwoToFourByFour) {
  ArgbImage src, dst;
  MakeFromRows(src, {{0x00000000, 0xFFFFFFFF}, {0x00000000, 0xFFFFFFFF}});
  Stretch(src, Filter::kTriangle, dst, 4, 4);
  for (int32_t y = 0; y < 4; ++y)
    EXPECT_EQ(test::RowOf(dst, y),
              (std::vector<Argb32>{0x00000000, 0x3F3F3F3F, 0xBFBFBFBF, 0xFFFFFFFF}))
        << "row " << y;
}

TEST(LinearStretch, BandEnlargementBlendsTheRowAboveTheBand) {
  // Rows 1..2 of a 4-row source stretched to 4 rows: the first destination row takes 1/4 of
  // row 0, which lies outside the band, as pixel centres map onto pixel centres.
  ArgbImage src, dst;
  MakeFromRows(src, {{0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}, {0, 0}, {0, 0}});
  const Rect band{0, 1, 2, 3};
  Stretch(src, Filter::kTriangle, dst, 4, 4, &band);
  EXPECT_EQ(dst.Row(0)[0], 0x3F3F3F3Fu);
  EXPECT_EQ(dst.Row(1)[0], 0u);
}

TEST(LinearStretch, ReductionUsesTheTriangleKernel) {
  // Identical rows 0, 0, 255, 255 reduced to 2 columns: 31.875 and 223.125, fractions dropped.
  ArgbImage src, dst;
  const std::vector<Argb32> row{0, 0, 0xFFFFFFFF, 0xFFFFFFFF};
  MakeFromRows(src, {row, row, row});
  Stretch(src, Filter::kTriangle, dst, 2, 3);
  for (int32_t y = 0; y < 3; ++y)
    EXPECT_EQ(test::RowOf(dst, y), (std::vector<Argb32>{0x1F1F1F1F, 0xDFDFDFDF}));

  // Any reduction is the kernel resampling with LinearKernel, not bilinear sampling.
  ArgbImage noise, viaFilter, viaKernel;
  MakeNoise(noise, 64, 48, 7);
  Stretch(noise, Filter::kTriangle, viaFilter, 32, 24);
  viaKernel.Resize(32, 24);
  KernelResample(viaKernel, viaKernel.Bounds(), viaKernel.Bounds(), noise, noise.Bounds(),
                 LinearKernel());
  EXPECT_EQ(FirstDifference(viaFilter, viaKernel), "");
}

TEST(BoxFilter, AveragesPairsAndRepeatsPixels) {
  ArgbImage src, dst;
  MakeFromRows(src, {{0x10203040, 0x30405060, 0xFF00FF00, 0x01FF01FF}});
  Stretch(src, Filter::kBoxKernel, dst, 2, 1);
  EXPECT_EQ(test::RowOf(dst, 0), (std::vector<Argb32>{0x20304050, 0x807F807F}));
  Stretch(src, Filter::kBoxKernel, dst, 8, 1);
  EXPECT_EQ(test::RowOf(dst, 0),
            (std::vector<Argb32>{0x10203040, 0x10203040, 0x30405060, 0x30405060, 0xFF00FF00,
                                   0xFF00FF00, 0x01FF01FF, 0x01FF01FF}));
}

TEST(KernelFilters, SaturateTheOvershootAtASharpEdge) {
  // Black | white, 8 -> 19 columns (the edge falls at destination column 9). Next to the edge
  // the negative lobes push the sums below 0 on the black side and above 255 x 65536 on the
  // white side; they must give 0 and 255, where wrapping would give values near the other end.
  for (Filter filter : {Filter::kHermite, Filter::kBSpline, Filter::kLanczos3, Filter::kMitchell,
                        Filter::kBoxKernel}) {
    ArgbImage src, dst;
    std::vector<Argb32> row(8, 0xFF000000);
    for (int x = 4; x < 8; ++x) row[x] = 0xFFFFFFFF;
    MakeFromRows(src, {row});
    Stretch(src, filter, dst, 19, 1);
    int zeros = 0, fulls = 0;
    for (int x = 0; x < 19; ++x) {
      const Argb32 p = dst.Row(0)[x];
      EXPECT_EQ(AlphaOf(p), 255) << InfoOf(filter).name << " x " << x;
      if (x <= 7) {
        EXPECT_LE(BlueOf(p), 16) << InfoOf(filter).name << " x " << x;
      }
      if (x >= 11) {
        EXPECT_GE(BlueOf(p), 239) << InfoOf(filter).name << " x " << x;
      }
      zeros += BlueOf(p) == 0;
      fulls += BlueOf(p) == 255;
    }
    EXPECT_GE(zeros, 4);
    EXPECT_GE(fulls, 4);
  }
}

TEST(DraftStretch, AveragesBlocksByReciprocal) {
  struct Case {
    int32_t srcWidth, dstWidth;
    Argb32 value, expected;
  };
  const Case cases[] = {
      {6, 2, 0xFFFFFFFF, 0xFEFEFEFE},  // blocks of 3: 2^24 div 3 loses a little
      {4, 2, 0xFFFFFFFF, 0xFFFFFFFF},  // blocks of 2
      {8, 2, 0xFFFFFFFF, 0xFFFFFFFF},  // blocks of 4
      {5, 1, 0x0A141E28, 0x09131D27},  // a block of 5 constant pixels comes out one less
  };
  for (const Case& c : cases) {
    ArgbImage src, dst;
    MakeSolid(src, c.srcWidth, 1, c.value);
    Stretch(src, Filter::kBox, dst, c.dstWidth, 1);
    for (int32_t x = 0; x < c.dstWidth; ++x)
      EXPECT_EQ(dst.Row(0)[x], c.expected) << c.srcWidth << " -> " << c.dstWidth;
  }
  // 4 x 4 -> 2 x 2: the truncated mean of each 2 x 2 block.
  ArgbImage src, dst;
  MakeFromRows(src, {{0, 0xFFFFFFFF, 0x01010101, 0x02020202},
                     {0xFFFFFFFF, 0, 0x03030303, 0x04040404},
                     {0x80808080, 0x80808080, 0, 0},
                     {0x80808080, 0x81818181, 0, 0x00000003}});
  Stretch(src, Filter::kBox, dst, 2, 2);
  EXPECT_EQ(test::RowOf(dst, 0), (std::vector<Argb32>{0x7F7F7F7F, 0x02020202}));
  EXPECT_EQ(test::RowOf(dst, 1), (std::vector<Argb32>{0x80808080, 0x00000000}));
}

TEST(DraftStretch, BlocksStartAtTheCornerAndDropTheRemainder) {
  // 1000 -> 300: blocks of 3 or 4 columns, the last ends at 998, column 999 is never read.
  ArgbImage src, dst;
  MakeSolid(src, 1000, 2, 0);
  for (int32_t y = 0; y < 2; ++y) src.Row(y)[999] = 0xFFFFFFFF;
  Stretch(src, Filter::kBox, dst, 300, 1);
  for (int32_t x = 0; x < 300; ++x) ASSERT_EQ(dst.Row(0)[x], 0u) << x;
  for (int32_t y = 0; y < 2; ++y) src.Row(y)[998] = 0xFFFFFFFF;
  Stretch(src, Filter::kBox, dst, 300, 1);
  EXPECT_NE(dst.Row(0)[299], 0u);

  // 6000 -> 20: blocks of 300 columns; block k holds the constant 10 k + 5, which the
  // reciprocal 2^24 div 300 turns into 10 k + 4.
  MakeSolid(src, 6000, 1, 0);
  for (int32_t x = 0; x < 6000; ++x) src.Row(0)[x] = static_cast<Argb32>(10 * (x / 300) + 5);
  Stretch(src, Filter::kBox, dst, 20, 1);
  for (int32_t k = 0; k < 20; ++k) EXPECT_EQ(dst.Row(0)[k], static_cast<Argb32>(10 * k + 4));
}

TEST(DraftStretch, EnlargingGoesBilinearOrToTheTriangleKernel) {
  ArgbImage noise, viaDraft, expected;
  // One side enlarged, the other reduced: bilinear sampling.
  MakeNoise(noise, 100, 400, 3);
  Stretch(noise, Filter::kBox, viaDraft, 200, 100);
  expected.Resize(200, 100);
  BilinearStretch(expected, expected.Bounds(), expected.Bounds(), noise, noise.Bounds());
  EXPECT_EQ(FirstDifference(viaDraft, expected), "");
  // A one-pixel-wide source: the triangle kernel.
  MakeNoise(noise, 1, 4, 4);
  Stretch(noise, Filter::kBox, viaDraft, 3, 8);
  expected.Resize(3, 8);
  KernelResample(expected, expected.Bounds(), expected.Bounds(), noise, noise.Bounds(),
                 LinearKernel());
  EXPECT_EQ(FirstDifference(viaDraft, expected), "");
}

TEST(AverageBlock, ReciprocalMeanPerChannel) {
  const Argb32 four[] = {0x00FF00FF, 0xFF00FF00, 0x00FF00FF, 0xFF00FF00};
  EXPECT_EQ(AverageBlock(2, 2, four, 2 * sizeof(Argb32)), 0x7F7F7F7Fu);
  const Argb32 three[] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(AverageBlock(3, 1, three, 0), 0xFEFEFEFEu);
  EXPECT_EQ(AverageBlock(1, 3, three, sizeof(Argb32)), 0xFEFEFEFEu);
}

TEST(AverageBlock, HugeBlocksStillAverage) {
  // 2^24 div n is 0 beyond 2^24 pixels and coarse long before; large blocks divide exactly
  // instead of darkening (a 4100 x 4100 white block would otherwise come out black).
  std::vector<Argb32> row(4100, 0xFFFFFFFF);
  EXPECT_EQ(AverageBlock(4100, 4100, row.data(), 0), 0xFFFFFFFFu);
  row.assign(4100, 0x80808080);
  EXPECT_EQ(AverageBlock(4100, 300, row.data(), 0), 0x80808080u);
}

TEST(StretchCopy, EqualSizesCopyWhateverTheFilter) {
  ArgbImage noise;
  MakeNoise(noise, 12, 9, 11);
  const Rect band{0, 2, 12, 7};
  for (const FilterInfo& filter : AllFilters()) {
    ArgbImage dst;
    Stretch(noise, filter.id, dst, 12, 5, &band);
    for (int32_t y = 0; y < 5; ++y) ASSERT_EQ(test::RowOf(dst, y), test::RowOf(noise, y + 2));
  }
}

TEST(StretchCopy, BadArgumentsChangeNothing) {
  ArgbImage src, dst;
  MakeSolid(src, 4, 4, 0xFF112233);
  MakeSolid(dst, 3, 3, 0x12345678);
  NearestResampler nearest;
  const Rect bad[] = {{-1, 0, 3, 3}, {0, -1, 3, 3}, {0, 0, 5, 3}, {0, 0, 3, 5}};
  for (const Rect& r : bad) {
    try {
      StretchTo(src, dst, dst.Bounds(), r, nearest);
      ADD_FAILURE() << "no error";
    } catch (const SourceInvalidError& e) {
      EXPECT_STREQ(e.what(), "Source rectangle is invalid");
    }
  }
  try {
    StretchCopy(nullptr, dst.Bounds(), dst.Bounds(), &src, src.Bounds(), nearest);
    ADD_FAILURE() << "no error";
  } catch (const BitmapError& e) {
    EXPECT_STREQ(e.what(), "Destination bitmap is nil");
  }
  try {
    StretchCopy(&dst, dst.Bounds(), dst.Bounds(), nullptr, src.Bounds(), nearest);
    ADD_FAILURE() << "no error";
  } catch (const BitmapError& e) {
    EXPECT_STREQ(e.what(), "Source bitmap is nil");
  }
  // Empty source rectangles (even out of range ones), clips and sources: silently nothing.
  StretchTo(src, dst, dst.Bounds(), Rect{-5, 0, -5, 3}, nearest);
  StretchTo(src, dst, Rect{5, 5, 9, 9}, src.Bounds(), nearest);
  ArgbImage empty;
  empty.Resize(0, 7);
  StretchTo(empty, dst, dst.Bounds(), Rect{0, 0, 2, 2}, nearest);
  for (int32_t y = 0; y < 3; ++y)
    EXPECT_EQ(test::RowOf(dst, y), (std::vector<Argb32>(3, 0x12345678)));
}

TEST(StretchCopy, WritesOnlyInsideTheClip) {
  ArgbImage noise;
  MakeNoise(noise, 10, 10, 5);
  for (Filter filter :
       {Filter::kNone, Filter::kBox, Filter::kTriangle, Filter::kLanczos3, Filter::kBoxKernel}) {
    ArgbImage whole, clipped;
    Stretch(noise, filter, whole, 17, 13);
    MakeSolid(clipped, 17, 13, 0xDEADBEEF);
    const Rect clip{3, 2, 11, 9};
    StretchCopy(&clipped, clipped.Bounds(), clip, &noise, noise.Bounds(), *MakeResampler(filter));
    for (int32_t y = 0; y < 13; ++y)
      for (int32_t x = 0; x < 17; ++x) {
        const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
        ASSERT_EQ(clipped.Row(y)[x], inside ? whole.Row(y)[x] : 0xDEADBEEF)
            << "filter " << InfoOf(filter).name << " at " << x << "," << y;
      }
  }
}

TEST(StretchCopy, DestinationRectangleMayReachOutsideTheBitmap) {
  // dstRect (-4, -4, 16, 16) on a 12 x 12 bitmap: the visible part equals the same window of
  // a full 20 x 20 stretch.
  ArgbImage noise;
  MakeNoise(noise, 7, 7, 9);
  for (Filter filter : {Filter::kNone, Filter::kBox, Filter::kTriangle, Filter::kLanczos3}) {
    const auto resampler = MakeResampler(filter);
    ArgbImage full, window;
    full.Resize(20, 20);
    StretchTo(noise, full, full.Bounds(), noise.Bounds(), *resampler);
    window.Resize(12, 12);
    StretchTo(noise, window, Rect{-4, -4, 16, 16}, noise.Bounds(), *resampler);
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 12; ++x)
        ASSERT_EQ(window.Row(y)[x], full.Row(y + 4)[x + 4]) << InfoOf(filter).name << " " << x << "," << y;
  }
}

}  // namespace
}  // namespace tessane
