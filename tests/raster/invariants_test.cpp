// Sweeps over every filter and many sizes: a single colour stays that colour, every output has
// the requested size and is written completely, and tiny sources survive every filter.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pixels/argb_image.h"
#include "raster/filters.h"
#include "raster/stretch.h"
#include "raster_test_util.h"

namespace tessane {
namespace {

constexpr Argb32 kSentinel = 0xA5A5A5A5;
const int32_t kSides[] = {1, 2, 3, 5, 16, 17, 64, 255};

// Stretches src to w x h with the filter into a bitmap pre-filled with the sentinel.
void StretchInto(ArgbImage& src, Filter filter, ArgbImage& dst, int32_t w, int32_t h) {
  const auto resampler = MakeResampler(filter);
  dst.Resize(w, h);
  dst.Fill(kSentinel);
  StretchTo(src, dst, dst.Bounds(), src.Bounds(), *resampler);
}

// The draft filter's reciprocal mean loses up to one level on blocks whose pixel count is not a
// power of two; every other filter keeps a single colour exactly.
bool Keeps(Filter filter, Argb32 in, Argb32 out) {
  if (in == out) return true;
  if (filter != Filter::kBox) return false;
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = (in >> shift) & 0xFF, b = (out >> shift) & 0xFF;
    if (b != a && b != a - 1) return false;
  }
  return true;
}

TEST(Invariants, SingleColourStaysExactUnderEveryFilterAndSize) {
  const Argb32 colours[] = {0xFFFFFFFF, 0x00000000, 0x80C0E010, 0x01FE7F80};
  const std::pair<int32_t, int32_t> sources[] = {{1, 1}, {3, 1},   {16, 1}, {1, 16},
                                                 {7, 5}, {64, 48}, {300, 2}};
  for (Argb32 colour : colours)
    for (auto [sw, sh] : sources) {
      ArgbImage src, dst;
      test::MakeSolid(src, sw, sh, colour);
      for (const FilterInfo& info : AllFilters())
        for (int32_t w : kSides)
          for (int32_t h : {1, 3, 40}) {
            StretchInto(src, info.id, dst, w, h);
            ASSERT_EQ(dst.Width(), w);
            ASSERT_EQ(dst.Height(), h);
            for (int32_t y = 0; y < h; ++y)
              for (int32_t x = 0; x < w; ++x)
                ASSERT_TRUE(Keeps(info.id, colour, dst.Row(y)[x]))
                    << "filter " << static_cast<int>(info.id) << " " << sw << "x" << sh << " -> " << w << "x" << h
                    << " at " << x << "," << y << ": " << std::hex << dst.Row(y)[x];
          }
    }
}

TEST(Invariants, EveryDestinationPixelIsWritten) {
  // Random sources, from strong reductions to strong enlargements: nothing keeps the sentinel
  // (a random pixel equal to it is practically impossible).
  ArgbImage src, dst;
  for (auto [sw, sh] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{16, 1}, std::pair{2, 2},
                        std::pair{1000, 7}, std::pair{97, 133}}) {
    test::MakeNoise(src, sw, sh, static_cast<uint32_t>(sw * 1000 + sh));
    for (const FilterInfo& info : AllFilters())
      for (int32_t w : kSides)
        for (int32_t h : {1, 2, 129}) {
          StretchInto(src, info.id, dst, w, h);
          for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
              ASSERT_NE(dst.Row(y)[x], kSentinel)
                  << "filter " << static_cast<int>(info.id) << " " << sw << "x" << sh << " -> " << w << "x" << h
                  << " at " << x << "," << y;
        }
  }
}

TEST(Invariants, ExtremeRatiosStayInBounds) {
  // 1 x 4000 -> 4000 x 1 and back, and a 65535-pixel side: tables stay within the source
  // (the sanitizer build checks the reads).
  ArgbImage src, dst;
  for (const FilterInfo& info : AllFilters()) {
    test::MakeNoise(src, 1, 4000, 17);
    StretchInto(src, info.id, dst, 4000, 1);
    test::MakeNoise(src, 4000, 1, 18);
    StretchInto(src, info.id, dst, 1, 4000);
    test::MakeSolid(src, 65535, 1, 0xFF336699);
    StretchInto(src, info.id, dst, 3, 2);
    for (int32_t x = 0; x < 3; ++x) ASSERT_TRUE(Keeps(info.id, 0xFF336699, dst.Row(1)[x]));
  }
}

}  // namespace
}  // namespace tessane
