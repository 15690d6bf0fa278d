// The optimised loops against the literal ones, on random images: every path must give the
// same words.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "base/cancel.h"
#include "base/errors.h"
#include "raster/draft_resampler.h"
#include "raster/kernel_resampler.h"
#include "raster/linear_resampler.h"
#include "raster_test_util.h"

namespace tessane {
namespace {

using test::FirstDifference;
using test::MakeNoise;

struct Geometry {
  const char* what;
  int32_t srcW, srcH;
  Rect srcRect, dstRect, clip;
  int32_t dstW, dstH;
};

const Geometry kGeometries[] = {
    {"reduce", 203, 77, {0, 0, 203, 77}, {0, 0, 40, 19}, {0, 0, 40, 19}, 40, 19},
    {"enlarge", 13, 9, {0, 0, 13, 9}, {0, 0, 61, 40}, {0, 0, 61, 40}, 61, 40},
    {"mixed", 90, 7, {0, 0, 90, 7}, {0, 0, 23, 31}, {0, 0, 23, 31}, 23, 31},
    {"band", 64, 64, {5, 12, 60, 40}, {0, 0, 33, 17}, {0, 0, 33, 17}, 33, 17},
    {"clipped", 50, 50, {0, 0, 50, 50}, {-7, -3, 70, 45}, {4, 6, 31, 29}, 40, 40},
    {"strong", 3000, 3, {0, 0, 3000, 3}, {0, 0, 5, 2}, {0, 0, 5, 2}, 5, 2},
    // Tall clusters: the vertical-first passes cut the columns into several strips.
    {"strips", 1000, 600, {0, 0, 1000, 600}, {0, 0, 25, 4}, {0, 0, 25, 4}, 25, 4},
    {"one column", 1, 30, {0, 0, 1, 30}, {0, 0, 9, 11}, {0, 0, 9, 11}, 9, 11},
};

const std::function<std::unique_ptr<Kernel>()> kKernels[] = {
    [] { return std::make_unique<BoxKernel>(); },
    [] { return std::make_unique<LinearKernel>(); },
    [] { return std::make_unique<CosineKernel>(); },
    [] { return std::make_unique<SplineKernel>(); },
    [] { return std::make_unique<LanczosKernel>(); },
    [] { return std::make_unique<MitchellKernel>(); },
};

TEST(KernelPaths, AgreeWithTheReferenceOnRandomImages) {
  if (!KernelResampleUsesAvx2()) std::puts("no AVX2 here: the AVX2 paths run portable");
  const KernelPath paths[] = {KernelPath::kAuto, KernelPath::kPortableVerticalFirst,
                               KernelPath::kPortableHorizontalFirst,
                               KernelPath::kAvx2VerticalFirst, KernelPath::kAvx2HorizontalFirst};
  uint32_t seed = 1;
  for (const Geometry& g : kGeometries) {
    ArgbImage src;
    MakeNoise(src, g.srcW, g.srcH, seed++);
    for (const auto& make : kKernels) {
      const auto kernel = make();
      ArgbImage reference;
      reference.Resize(g.dstW, g.dstH);
      reference.Fill(0x5A5A5A5A);
      KernelResampleVia(KernelPath::kReference, reference, g.dstRect, g.clip, src, g.srcRect,
                        *kernel);
      for (KernelPath path : paths) {
        ArgbImage fast;
        fast.Resize(g.dstW, g.dstH);
        fast.Fill(0x5A5A5A5A);
        KernelResampleVia(path, fast, g.dstRect, g.clip, src, g.srcRect, *kernel);
        EXPECT_EQ(FirstDifference(reference, fast), "")
            << g.what << " " << kernel->ClassName() << " path " << static_cast<int>(path);
      }
    }
  }
}

// A bitmap handed out as a RowSource that insists on the order its contract gives: every row
// asked for lies below the last one, and a row's pointer dies with the next call.
class StrictRows : public RowSource {
 public:
  explicit StrictRows(const ArgbImage& image) : image_(image), row_(image.Width()) {}
  int32_t Width() const override { return image_.Width(); }
  int32_t Height() const override { return image_.Height(); }
  const Argb32* NextRow(int32_t y) override {
    EXPECT_GT(y, last_);
    EXPECT_LT(y, Height());
    last_ = y;
    std::fill(row_.begin(), row_.end(), 0xDEADBEEF);  // what an earlier pointer now shows
    row_.assign(image_.Row(y), image_.Row(y) + Width());
    return row_.data();
  }
  void Finish() override { finished_ = true; }
  int32_t Last() const { return last_; }

 private:
  const ArgbImage& image_;
  std::vector<Argb32> row_;
  int32_t last_ = -1;
  bool finished_ = false;
};

TEST(KernelPaths, ScalingFromRowsMatchesScalingTheBitmap) {
  struct Case {
    int32_t srcW, srcH, dstW, dstH;
  };
  // Reductions of every strength, enlargements (from 2 rows Lanczos clusters may start before
  // the one above them), one side kept, and a single row or column.
  const Case cases[] = {{203, 77, 40, 19}, {640, 480, 37, 28}, {13, 9, 61, 40}, {2, 2, 6, 10},
                        {90, 7, 23, 31},   {64, 64, 64, 21},   {1, 30, 9, 11},  {300, 1, 20, 1},
                        {1500, 600, 5, 2}};
  uint32_t seed = 200;
  for (const Case& c : cases) {
    ArgbImage src;
    MakeNoise(src, c.srcW, c.srcH, seed++);
    for (const auto& make : kKernels) {
      KernelResampler resampler;
      resampler.SetKernel(make());
      ArgbImage whole, fromRows;
      whole.Resize(c.dstW, c.dstH);
      fromRows.Resize(c.dstW, c.dstH);
      resampler.Stretch(whole, whole.Bounds(), whole.Bounds(), src, src.Bounds());
      StrictRows rows(src);
      ASSERT_TRUE(resampler.StretchRows(fromRows, rows));
      EXPECT_EQ(FirstDifference(whole, fromRows), "")
          << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH << " "
          << resampler.kernel().ClassName();
    }
  }
}

// A stop of the work ends scaling part-way: from a decoder's rows, the rest of the picture is
// never asked for; from a whole bitmap, no more rows are computed.
TEST(KernelPaths, StopEndsScalingPartWay) {
  class StoppingRows : public StrictRows {
   public:
    StoppingRows(const ArgbImage& image, std::atomic<bool>& stop)
        : StrictRows(image), stop_(stop) {}
    const Argb32* NextRow(int32_t y) override {
      if (y == 100) stop_ = true;
      return StrictRows::NextRow(y);
    }

   private:
    std::atomic<bool>& stop_;
  };
  ArgbImage src, dst;
  MakeNoise(src, 64, 400, 9);
  dst.Resize(8, 50);
  KernelResampler resampler;
  std::atomic<bool> stop{false};
  const CancelScope scope(&stop);
  StoppingRows rows(src, stop);
  EXPECT_THROW(resampler.StretchRows(dst, rows), AbortError);
  EXPECT_EQ(rows.Last(), 100);
  EXPECT_THROW(resampler.Stretch(dst, dst.Bounds(), dst.Bounds(), src, src.Bounds()), AbortError);
  stop = false;
  resampler.Stretch(dst, dst.Bounds(), dst.Bounds(), src, src.Bounds());
}

TEST(KernelPaths, ResamplersWithoutRowScalingReadNoRow) {
  ArgbImage src, dst;
  MakeNoise(src, 50, 40, 3);
  dst.Resize(10, 8);
  const std::unique_ptr<Resampler> others[] = {std::make_unique<LinearResampler>(),
                                               std::make_unique<DraftResampler>()};
  for (const auto& resampler : others) {
    StrictRows rows(src);
    EXPECT_FALSE(resampler->StretchRows(dst, rows)) << resampler->ClassName();
    EXPECT_EQ(rows.Last(), -1);
  }
}

TEST(KernelPaths, AgreeWhereTheCorrectionLeavesANegativeWeight) {
  // Box at 1:300: weights of 1 that overshoot 256 by far, corrected by one large negative
  // weight; random pixels then push sums outside 0..255 both ways, which must saturate alike.
  ArgbImage src;
  MakeNoise(src, 1500, 600, 99);
  BoxKernel box;
  ArgbImage reference;
  reference.Resize(5, 2);
  KernelResampleVia(KernelPath::kReference, reference, reference.Bounds(), reference.Bounds(), src,
                    src.Bounds(), box);
  for (KernelPath path : {KernelPath::kAvx2VerticalFirst, KernelPath::kAvx2HorizontalFirst}) {
    ArgbImage fast;
    fast.Resize(5, 2);
    KernelResampleVia(path, fast, fast.Bounds(), fast.Bounds(), src, src.Bounds(), box);
    EXPECT_EQ(FirstDifference(reference, fast), "") << static_cast<int>(path);
  }
}

// A thread keeps the mapping tables of the axes it resampled last. Pictures of one width and
// ever new heights (the width found again, each height new, the oldest entries given up) and
// sizes met again must come out as in a thread that starts with no tables at all.
TEST(KernelPaths, MappingsKeptBetweenPicturesMatchFreshOnes) {
  ArgbImage src;
  MakeNoise(src, 120, 90, 5);
  const LanczosKernel lanczos;
  const MitchellKernel mitchell;
  struct Step {
    int32_t w, h;
    const Kernel* kernel;
  };
  const Step steps[] = {{40, 11, &lanczos},  {40, 12, &lanczos}, {40, 13, &lanczos},
                        {40, 14, &lanczos},  {40, 15, &lanczos}, {40, 11, &lanczos},
                        {40, 11, &mitchell}, {14, 40, &lanczos}, {40, 14, &lanczos}};
  auto resample = [&src](const Step& step, ArgbImage& out) {
    out.Resize(step.w, step.h);
    KernelResampleVia(KernelPath::kAuto, out, out.Bounds(), out.Bounds(), src, src.Bounds(),
                      *step.kernel);
  };
  for (const Step& step : steps) {
    ArgbImage fresh, kept;
    std::thread([&] { resample(step, fresh); }).join();
    resample(step, kept);
    EXPECT_EQ(FirstDifference(fresh, kept), "")
        << step.w << " x " << step.h << " " << step.kernel->ClassName();
  }
}

TEST(Interpolate2x2, PackedFormMatchesPerChannelArithmetic) {
  std::mt19937 rng(5);
  for (uint32_t wx = 0; wx <= 256; ++wx)
    for (uint32_t wy = 0; wy <= 256; wy += (wx % 7 == 0 ? 1 : 37)) {
      const Argb32 top[2] = {static_cast<Argb32>(rng()), static_cast<Argb32>(rng())};
      const Argb32 bottom[2] = {static_cast<Argb32>(rng()), static_cast<Argb32>(rng())};
      ASSERT_EQ(Interpolate2x2Packed(wx, wy, top, bottom), Interpolate2x2(wx, wy, top, bottom))
          << wx << " " << wy;
    }
  const Argb32 white[2] = {0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(Interpolate2x2(256, 256, white, white), 0xFFFFFFFFu);
  EXPECT_EQ(Interpolate2x2Packed(0, 0, white, white), 0xFFFFFFFFu);
}

// One axis of the bilinear map written out plainly: centre onto centre, clamped to the bitmap, the
// last index of the rectangle read as a right-hand neighbour with full weight.
std::vector<std::pair<int32_t, uint32_t>> BilinearAxis(int32_t dstLo, int32_t dstHi, int32_t clipLo,
                                                       int32_t clipHi, int32_t srcLo, int32_t srcHi,
                                                       int32_t size) {
  const float s = static_cast<float>(double(srcHi - srcLo) / (dstHi - dstLo));
  std::vector<std::pair<int32_t, uint32_t>> map;
  for (int32_t i = clipLo; i < clipHi; ++i) {
    float f = static_cast<float>((i - dstLo + 0.5) * s + (srcLo - 0.5));
    f = std::min(std::max(f, 0.0f), static_cast<float>(size - 1));
    map.emplace_back(static_cast<int32_t>(std::floor(f)),
                     256 - static_cast<uint32_t>(std::nearbyint((f - std::trunc(f)) * 256.0)));
  }
  for (size_t i = map.size(); i-- > 0 && map[i].first == srcHi - 1;) map[i] = {srcHi - 2, 0};
  return map;
}

TEST(BilinearStretch, MatchesInterpolate2x2OverPlainMaps) {
  for (const Geometry& g : kGeometries) {
    if (g.srcW < 2 || g.srcH < 2) continue;
    ArgbImage src, dst;
    MakeNoise(src, g.srcW, g.srcH, 77);
    dst.Resize(g.dstW, g.dstH);
    BilinearStretch(dst, g.dstRect, g.clip, src, g.srcRect);
    const auto cols = BilinearAxis(g.dstRect.left, g.dstRect.right, g.clip.left, g.clip.right,
                                   g.srcRect.left, g.srcRect.right, g.srcW);
    const auto rows = BilinearAxis(g.dstRect.top, g.dstRect.bottom, g.clip.top, g.clip.bottom,
                                   g.srcRect.top, g.srcRect.bottom, g.srcH);
    for (size_t j = 0; j < rows.size(); ++j)
      for (size_t i = 0; i < cols.size(); ++i) {
        const auto [x, wx] = cols[i];
        const auto [y, wy] = rows[j];
        ASSERT_EQ(dst.Row(g.clip.top + int32_t(j))[g.clip.left + int32_t(i)],
                  Interpolate2x2(wx, wy, src.Row(y) + x, src.Row(y + 1) + x))
            << g.what << " at " << i << "," << j;
      }
  }
}

TEST(DraftStretch, MatchesAverageBlockOverPlainBlocks) {
  struct Case {
    int32_t srcW, srcH, dstW, dstH;
  };
  const Case cases[] = {{97, 61, 13, 7}, {1000, 3, 300, 2}, {64, 64, 64, 21}, {5, 400, 2, 3}};
  uint32_t seed = 40;
  for (const Case& c : cases) {
    ArgbImage src, dst;
    MakeNoise(src, c.srcW, c.srcH, seed++);
    dst.Resize(c.dstW, c.dstH);
    DraftStretch(dst, dst.Bounds(), dst.Bounds(), src, src.Bounds(), LinearKernel());
    const int64_t sx = static_cast<int64_t>(65536.0 * static_cast<float>(double(c.srcW) / c.dstW));
    const int64_t sy = static_cast<int64_t>(65536.0 * static_cast<float>(double(c.srcH) / c.dstH));
    for (int32_t m = 0; m < c.dstH; ++m)
      for (int32_t k = 0; k < c.dstW; ++k) {
        const int64_t x0 = (k * sx) >> 16, x1 = ((k + 1) * sx) >> 16;
        const int64_t y0 = (m * sy) >> 16, y1 = ((m + 1) * sy) >> 16;
        const Argb32 expected =
            AverageBlock(static_cast<int32_t>(x1 - x0), static_cast<int32_t>(y1 - y0),
                         src.Row(static_cast<int32_t>(y0)) + x0,
                         static_cast<ptrdiff_t>(c.srcW * sizeof(Argb32)));
        ASSERT_EQ(dst.Row(m)[k], expected) << c.srcW << "x" << c.srcH << " at " << k << "," << m;
      }
  }
}

}  // namespace
}  // namespace tessane
