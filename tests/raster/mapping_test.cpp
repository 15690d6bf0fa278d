// Mapping tables of the kernel resampler and the kernels behind them.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numeric>

#include "raster/kernel_resampler.h"
#include "raster/kernels.h"

namespace tessane {
namespace {

using KernelFactory = std::function<std::unique_ptr<Kernel>()>;

struct NamedKernel {
  const char* name;
  KernelFactory make;
};

const NamedKernel kKernels[] = {
    {"box", [] { return std::make_unique<BoxKernel>(); }},
    {"linear", [] { return std::make_unique<LinearKernel>(); }},
    {"cosine", [] { return std::make_unique<CosineKernel>(); }},
    {"spline", [] { return std::make_unique<SplineKernel>(); }},
    {"lanczos", [] { return std::make_unique<LanczosKernel>(); }},
    {"mitchell", [] { return std::make_unique<MitchellKernel>(); }},
};

std::unique_ptr<Kernel> KernelNamed(const std::string& name) {
  for (const NamedKernel& k : kKernels)
    if (name == k.name) return k.make();
  return nullptr;
}

TEST(Kernels, SupportAndClampingPerClass) {
  struct Case {
    const char* name;
    float radius;
    bool clamps;
    const char* className;
  };
  const Case cases[] = {
      {"box", 1, false, "TBoxKernel"},        {"linear", 1, false, "TLinearKernel"},
      {"cosine", 1, false, "TCosineKernel"},  {"spline", 2, true, "TSplineKernel"},
      {"lanczos", 3, true, "TLanczosKernel"}, {"mitchell", 2, true, "TMitchellKernel"},
  };
  for (const Case& c : cases) {
    auto k = KernelNamed(c.name);
    EXPECT_EQ(k->Radius(), c.radius) << c.name;
    EXPECT_EQ(k->NeedsClamp(), c.clamps) << c.name;
    EXPECT_STREQ(k->ClassName(), c.className);
    EXPECT_EQ(k->Evaluate(c.radius), 0.0f) << c.name << " vanishes at its radius";
  }
}

TEST(Kernels, BoxIncludesBothEdgesOfItsSupport) {
  BoxKernel box;
  EXPECT_EQ(box.Evaluate(-0.5f), 1.0f);
  EXPECT_EQ(box.Evaluate(0.5f), 1.0f);
  EXPECT_EQ(box.Evaluate(std::nextafter(0.5f, 1.0f)), 0.0f);
  EXPECT_EQ(box.Evaluate(std::nextafter(-0.5f, -1.0f)), 0.0f);
}

TEST(Kernels, LanczosWidthFollowsItsProperty) {
  LanczosKernel k;
  EXPECT_EQ(k.Width(), 3.0f);
  EXPECT_EQ(k.Evaluate(0.0f), 1.0f);
  EXPECT_NE(k.Evaluate(2.5f), 0.0f);
  k.SetWidth(2.0f);
  EXPECT_EQ(k.Radius(), 2.0f);
  EXPECT_EQ(k.Evaluate(2.5f), 0.0f);
  EXPECT_EQ(static_cast<LanczosKernel&>(*k.Clone()).Width(), 2.0f);
}

TEST(BuildMapping, WorkedClusters) {
  using E = ClusterEntry;
  struct Case {
    const char* kernel;
    int32_t srcWidth, dstWidth;
    size_t index;
    Cluster expected;
  };
  const Case cases[] = {
      {"box", 4, 2, 0, {E{0, 128}, E{1, 128}}},
      {"box", 4, 2, 1, {E{2, 128}, E{3, 128}}},
      {"box", 2, 4, 0, {E{0, 256}}},
      {"box", 2, 4, 1, {E{0, 256}}},
      {"box", 2, 4, 2, {E{1, 256}}},
      {"box", 2, 4, 3, {E{1, 256}}},
      {"linear", 4, 2, 0, {E{0, 32}, E{0, 96}, E{1, 96}, E{2, 32}}},
      {"linear", 4, 2, 1, {E{1, 32}, E{2, 96}, E{3, 96}, E{3, 32}}},
      // Near the border every clamped sample repeats the edge pixel with its own weight.
      {"lanczos",
       4,
       2,
       0,
       {E{0, 1}, E{0, 4}, E{0, -9}, E{0, -17}, E{0, 35}, E{0, 114}, E{1, 114}, E{2, 35}, E{3, -17},
        E{3, -9}, E{3, 4}, E{3, 1}}},
      // a^3 formed as (a^2 rounded) x a, rounded: forming it in one go gives 22 / 110 here.
      {"mitchell",
       1909,
       1021,
       91,
       {E{168, -5}, E{169, 23}, E{170, 100}, E{171, 109}, E{172, 34}, E{173, -4}, E{174, -1}}},
      // Every sample rounds to 0 at 1:512: the pixel under the centre, Floor(c), alone.
      {"box", 1024, 2, 0, {E{255, 256}}},
      {"box", 1024, 2, 1, {E{767, 256}}},
  };
  for (const Case& c : cases) {
    auto kernel = KernelNamed(c.kernel);
    const MappingTable table = BuildMapping(0, c.dstWidth, 0, c.dstWidth, 0, c.srcWidth, *kernel);
    ASSERT_EQ(table.size(), static_cast<size_t>(c.dstWidth));
    EXPECT_EQ(table[c.index], c.expected)
        << c.kernel << " " << c.srcWidth << " -> " << c.dstWidth << " cluster " << c.index;
  }
}

TEST(BuildMapping, CorrectionLandsOnTheMiddleEntry) {
  // Box 3200 -> 32: a hundred weights of 3 add up to 300; entry (n - 1) div 2 = 49 drops by 44.
  BoxKernel box;
  const MappingTable table = BuildMapping(0, 32, 0, 32, 0, 3200, box);
  const Cluster& first = table[0];
  ASSERT_EQ(first.size(), 100u);
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].source_index, static_cast<int32_t>(i));
    EXPECT_EQ(first[i].weight, i == 49 ? -41 : 3) << i;
  }
}

TEST(BuildMapping, OnePixelSourceAndEmptyRanges) {
  LanczosKernel lanczos;
  const MappingTable single = BuildMapping(0, 7, 2, 5, 9, 10, lanczos);
  ASSERT_EQ(single.size(), 3u);
  for (const Cluster& cluster : single) EXPECT_EQ(cluster, (Cluster{{9, 256}}));
  EXPECT_TRUE(BuildMapping(0, 7, 0, 7, 4, 4, lanczos).empty());   // no source
  EXPECT_TRUE(BuildMapping(0, 7, 3, 3, 0, 10, lanczos).empty());  // empty clip
}

TEST(BuildMapping, ClippedTableIsTheSliceOfTheWholeOne) {
  for (const NamedKernel& k : kKernels) {
    auto kernel = k.make();
    for (auto [sw, dw] : {std::pair{37, 11}, std::pair{11, 37}, std::pair{640, 480}}) {
      const MappingTable whole = BuildMapping(-3, dw - 3, -3, dw - 3, 0, sw, *kernel);
      const MappingTable part = BuildMapping(-3, dw - 3, 2, dw - 7, 0, sw, *kernel);
      ASSERT_EQ(part.size(), static_cast<size_t>(dw - 9));
      for (size_t i = 0; i < part.size(); ++i)
        ASSERT_EQ(part[i], whole[i + 5]) << k.name << " " << sw << " -> " << dw << " at " << i;
    }
  }
}

TEST(BuildMapping, EveryClusterSumsTo256InsideTheSource) {
  const std::pair<int32_t, int32_t> sizes[] = {
      {2, 1},    {2, 3},    {3, 2},     {5, 2},    {7, 3},      {16, 1},     {100, 99},
      {99, 100}, {333, 17}, {17, 333},  {1000, 3}, {4000, 320}, {320, 1920}, {2196, 387},
      {1, 9},    {9, 9},    {700, 701}, {4096, 7}, {65535, 3},  {3, 65535},
  };
  for (const NamedKernel& k : kKernels) {
    auto kernel = k.make();
    for (auto [sw, dw] : sizes) {
      const int32_t srcLo = 5;
      const MappingTable table = BuildMapping(0, dw, 0, dw, srcLo, srcLo + sw, *kernel);
      ASSERT_EQ(table.size(), static_cast<size_t>(dw));
      for (size_t i = 0; i < table.size(); ++i) {
        ASSERT_FALSE(table[i].empty());
        int32_t sum = 0;
        for (const ClusterEntry& e : table[i]) {
          ASSERT_GE(e.source_index, srcLo) << k.name << " " << sw << "->" << dw << " #" << i;
          ASSERT_LT(e.source_index, srcLo + sw) << k.name << " " << sw << "->" << dw << " #" << i;
          sum += e.weight;
        }
        ASSERT_EQ(sum, 256) << k.name << " " << sw << " -> " << dw << " cluster " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tessane
