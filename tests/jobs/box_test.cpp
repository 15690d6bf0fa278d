// Box sizing: the output size, the part of the picture cut for a fill box, and the JPEG scale.

#include "jobs/box.h"

#include <gtest/gtest.h>

#include "jobs/resize_job.h"

namespace tessane {
namespace {

TEST(Box, ParsesSizesAndRefusesBoxesBelowOnePixelOrAboveTheLimit) {
  EXPECT_EQ(ParseBoxSize("320x200", BoxKind::kFit), (Box{BoxKind::kFit, 320, 200}));
  EXPECT_EQ(ParseBoxSize("1X1", BoxKind::kFill), (Box{BoxKind::kFill, 1, 1}));
  EXPECT_EQ(ParseBoxSize("65535x65535", BoxKind::kFit), (Box{BoxKind::kFit, 65535, 65535}));
  for (const char* bad : {"0x5", "5x0", "0x0", "x5", "5x", "5", "", "-1x5", "5x-1", "65536x1",
                          "1x65536", "5x5x5", " 5x5", "5x5 ", "5.5x5", "axb", "99999999999x1"})
    EXPECT_FALSE(ParseBoxSize(bad, BoxKind::kFit)) << bad;
}

TEST(Box, ParsesGravities) {
  EXPECT_EQ(ParseGravity("centre"), Gravity::kCentre);
  EXPECT_EQ(ParseGravity("center"), Gravity::kCentre);
  EXPECT_EQ(ParseGravity("NorthEast"), Gravity::kNorthEast);
  EXPECT_EQ(ParseGravity("southwest"), Gravity::kSouthWest);
  EXPECT_FALSE(ParseGravity("up"));
  EXPECT_FALSE(ParseGravity(""));
}

TEST(Box, TargetSizes) {
  struct Case {
    int32_t w, h;
    Box box;
    bool shrinkOnly;
    Rect want;
  };
  const Box fit{BoxKind::kFit, 320, 200}, fill{BoxKind::kFill, 320, 200};
  const Case cases[] = {
      {1600, 1200, fit, false, {0, 0, 266, 200}},  // height meets the box first
      {1600, 800, fit, false, {0, 0, 320, 160}},   // width meets it first
      {1600, 1000, fit, false, {0, 0, 320, 200}},  // same aspect as the box
      {100, 50, fit, false, {0, 0, 320, 160}},     // enlarged
      {100, 50, fit, true, {0, 0, 100, 50}},       // ... unless shrink-only
      {400, 50, fit, true, {0, 0, 320, 40}},       // wider than the box: still shrunk
      {100000, 1, fit, false, {0, 0, 320, 1}},     // never 0 px
      {1, 100000, fit, false, {0, 0, 1, 200}},
      {1600, 1200, fill, false, {0, 0, 320, 200}},
      {100, 50, fill, false, {0, 0, 320, 200}},
      {100, 50, fill, true, {0, 0, 100, 50}},   // not enlarged: cut to the picture
      {1000, 50, fill, true, {0, 0, 320, 50}},  // too low for the box: only the width cut
      {1, 1, Box{BoxKind::kFill, 1, 1}, false, {0, 0, 1, 1}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BoxTargetRect(c.w, c.h, c.box, c.shrinkOnly), c.want)
        << c.w << "x" << c.h << " fill " << (c.box.kind == BoxKind::kFill) << " shrink "
        << c.shrinkOnly;
}

TEST(Box, FitBoxOfEqualSidesSizesLikeThePlainLargestSide) {
  for (const auto& [w, h] : {std::pair{1600, 1200}, {1200, 1600}, {333, 777}, {640, 480}, {5, 3}}) {
    const Rect plain = TargetRectFor(w, h, 320, kSizeLargest);
    EXPECT_EQ(BoxTargetRect(w, h, Box{BoxKind::kFit, 320, 320}, false), plain) << w << "x" << h;
    EXPECT_EQ(BoxJpegScaleDenominator(w * 8, h * 8, Box{BoxKind::kFit, 320, 320}),
              JpegScaleDenominator(w * 8, h * 8, 320));
  }
}

TEST(Box, FillCutsTheLargestPartOfTheBoxsAspectAtTheGravity) {
  struct Case {
    int32_t w, h;
    Gravity gravity;
    Rect want;
  };
  // A 400 x 100 picture into a 100 x 100 box: a 100 x 100 part; 100 x 400 likewise upright.
  const Case cases[] = {
      {400, 100, Gravity::kCentre, {150, 0, 250, 100}},
      {400, 100, Gravity::kWest, {0, 0, 100, 100}},
      {400, 100, Gravity::kEast, {300, 0, 400, 100}},
      {400, 100, Gravity::kNorthEast, {300, 0, 400, 100}},
      {400, 100, Gravity::kSouthWest, {0, 0, 100, 100}},
      {400, 100, Gravity::kNorth, {150, 0, 250, 100}},
      {100, 400, Gravity::kCentre, {0, 150, 100, 250}},
      {100, 400, Gravity::kNorth, {0, 0, 100, 100}},
      {100, 400, Gravity::kSouthEast, {0, 300, 100, 400}},
      {100, 400, Gravity::kWest, {0, 150, 100, 250}},
      {101, 400, Gravity::kCentre, {0, 149, 101, 250}},     // rounded to the nearest row
      {100000, 1, Gravity::kCentre, {49999, 0, 50000, 1}},  // never 0 px
  };
  for (const Case& c : cases)
    EXPECT_EQ(BoxSourceRect(c.w, c.h, Box{BoxKind::kFill, 100, 100, c.gravity}, false), c.want)
        << c.w << "x" << c.h << " gravity " << static_cast<int>(c.gravity);
  // Fit boxes take the whole picture.
  EXPECT_EQ(BoxSourceRect(400, 100, Box{BoxKind::kFit, 100, 100}, false), (Rect{0, 0, 400, 100}));
  // Shrink-only keeps a small picture from being enlarged: a cut of the target's size.
  EXPECT_EQ(BoxSourceRect(1000, 50, Box{BoxKind::kFill, 320, 200, Gravity::kEast}, true),
            (Rect{680, 0, 1000, 50}));
}

TEST(Box, JpegScaleComesFromTheSmallerSideRatio) {
  struct Case {
    int32_t w, h, bw, bh;
    int want;
  };
  const Case cases[] = {
      {4000, 3000, 320, 200, 8},                               // 12.5 and 15: both above 8
      {4000, 3000, 800, 200, 4},                               // 5 and 15
      {4000, 3000, 500, 375, 4},                               // exactly 8: not above
      {4000, 3000, 4000, 3000, 1}, {4000, 3000, 8000, 10, 1},  // enlarged on one side
  };
  for (const Case& c : cases)
    EXPECT_EQ(BoxJpegScaleDenominator(c.w, c.h, Box{BoxKind::kFit, c.bw, c.bh}), c.want)
        << c.bw << "x" << c.bh;
}

}  // namespace
}  // namespace tessane
