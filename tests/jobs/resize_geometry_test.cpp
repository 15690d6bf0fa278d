#include <gtest/gtest.h>

#include "base/errors.h"
#include "jobs/resize_job.h"

namespace tessane {
namespace {

TEST(JpegScale, StrictRatioThresholds) {
  struct Case { int w, h, size, expected; };
  const Case cases[] = {
      {4000, 3000, 320, 8},   // r = 9.375
      {4000, 3000, 500, 4},   // r = 6
      {4000, 3000, 375, 4},   // r = 8 exactly is not above 8
      {4000, 3000, 1499, 2},  // r just above 2
      {4000, 3000, 1500, 1},  // r = 2 exactly
      {4000, 3000, 5000, 1},
      {320, 240, -5, 1},      // a negative size never reduces
  };
  for (const auto& c : cases)
    EXPECT_EQ(JpegScaleDenominator(c.w, c.h, c.size), c.expected) << c.w << "x" << c.h << " @" << c.size;
  EXPECT_THROW(JpegScaleDenominator(4000, 3000, 0), FloatDivisionByZeroError);
}

TEST(TargetRect, SizeModes) {
  struct Case { int w, h, size; uint8_t mode; int right, bottom; };
  const Case cases[] = {
      {500, 375, 320, kSizeLargest, 320, 240},    {1000, 750, 500, kSizeLargest, 500, 375},
      {2001, 1501, 320, kSizeLargest, 320, 240},  {1000, 3000, 320, kSizeWidth, 320, 960},
      {1000, 3000, 320, kSizeHeight, 106, 320},   {1001, 500, 500, kSizePercent, 500, 249},
      {300, 300, 100, kSizeLargest, 100, 100},    {1600, 1200, 300, kSizeHeight, 400, 300},
      {400, 10, 32, kSizeLargest, 33, 1},         // an empty side grows to 1, the other by one too
      {10, 400, 32, kSizeLargest, 1, 33},
  };
  for (const auto& c : cases) {
    const Rect r = TargetRectFor(c.w, c.h, c.size, c.mode);
    EXPECT_EQ(r.right, c.right) << c.w << "x" << c.h;
    EXPECT_EQ(r.bottom, c.bottom) << c.w << "x" << c.h;
  }
}

TEST(TargetRect, SixteenBitArithmeticErrors) {
  EXPECT_THROW(TargetRectFor(100, 1400, 5000, kSizeWidth), IntegerOverflowError);
  EXPECT_THROW(TargetRectFor(0, 0, 320, kSizeLargest), DivisionByZeroError);
  EXPECT_THROW(TargetRectFor(0, 10, 320, kSizeWidth), DivisionByZeroError);
}

}  // namespace
}  // namespace tessane
