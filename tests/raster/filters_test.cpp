// The filter table: every label the window shows (and every name tessane-cli takes) scales with
// the kernel it names, checked against the kernels' own formulas rather than the table.

#include "raster/filters.h"
#include "raster/stretch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "pixels/argb_image.h"
#include "raster/kernel_resampler.h"
#include "raster/resampler.h"
#include "raster_test_util.h"

namespace tessane {
namespace {

// The cubics of Mitchell and Netravali's (B, C) family; B = 1, C = 0 is the cubic B-spline.
std::function<double(double)> Cubic(double b, double c) {
  return [b, c](double x) {
    const double a = std::abs(x);
    if (a < 1) return ((12 - 9 * b - 6 * c) * a * a * a + (-18 + 12 * b + 6 * c) * a * a + (6 - 2 * b)) / 6;
    if (a < 2)
      return ((-b - 6 * c) * a * a * a + (6 * b + 30 * c) * a * a + (-12 * b - 48 * c) * a +
              (8 * b + 24 * c)) /
             6;
    return 0.0;
  };
}

double Sinc(double x) {
  return x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

double Lanczos3(double x) {
  return std::abs(x) < 3 ? Sinc(x) * Sinc(x / 3) : 0;
}

// Hermite has always scaled with the raised cosine, a smooth step of the same support that
// agrees with the Hermite cubic at 0, 1/2 and 1.
double RaisedCosine(double x) {
  return std::abs(x) < 1 ? (1 + std::cos(std::numbers::pi * x)) / 2 : 0;
}

double BoxOfWidthOne(double x) {
  return std::abs(x) <= 0.5 ? 1 : 0;
}

struct KernelCase {
  std::function<double(double)> formula;
  float radius;
};

const Kernel* KernelOf(const Resampler& resampler) {
  const auto* kernelResampler = dynamic_cast<const KernelResampler*>(&resampler);
  return kernelResampler ? &kernelResampler->kernel() : nullptr;
}

void ExpectKernel(const Resampler& resampler, const KernelCase& expected, const std::string& what) {
  const Kernel* kernel = KernelOf(resampler);
  ASSERT_NE(kernel, nullptr) << what << " scales without a kernel";
  EXPECT_EQ(kernel->Radius(), expected.radius) << what;
  for (double x = -3.5; x <= 3.5; x += 0.125) {
    const double value = kernel->Evaluate(static_cast<float>(x));
    if (std::abs(value - expected.formula(x)) > 2e-6) {
      ADD_FAILURE() << what << " at " << x << ": " << value << ", named kernel "
                    << expected.formula(x);
      return;
    }
  }
}

// Blue values of a 4-pixel row 0, 64, 128, 255 reduced to 2 pixels.
std::vector<int> HalveRow(Filter filter) {
  ArgbImage src, dst;
  test::MakeFromRows(src, {{test::Grey(0), test::Grey(64), test::Grey(128), test::Grey(255)}});
  dst.Resize(2, 1);
  StretchTo(src, dst, dst.Bounds(), src.Bounds(), *MakeResampler(filter));
  return test::BlueRow(dst, 0);
}

TEST(Filters, EachLabelScalesWithTheKernelItNames) {
  const std::map<std::string, KernelCase> kernels = {
      {"Hermite", {RaisedCosine, 1}},
      {"Bell", {Cubic(1, 0), 2}},  // the cubic B-spline, as it has always been
      {"BSpline", {Cubic(1, 0), 2}},
      {"Lanczos3", {Lanczos3, 3}},
      {"Mitchell ", {Cubic(1.0 / 3, 1.0 / 3), 2}},
  };
  // Halving 0, 64, 128, 255: a pick of single pixels, the mean of each pair, the triangle's
  // 1/8, 3/8, 3/8, 1/8 with the edge repeated (fractions dropped).
  const std::map<std::string, std::function<void(const std::vector<int>&)>> reductions = {
      {"None",
       [](const std::vector<int>& row) {
         for (int v : row) EXPECT_TRUE(v == 0 || v == 64 || v == 128 || v == 255) << v;
         EXPECT_LT(row[0], row[1]);
       }},
      {"Box",
       [](const std::vector<int>& row) {
         EXPECT_NEAR(row[0], 32, 1);
         EXPECT_NEAR(row[1], 191, 1);
       }},
      {"Triangle", [](const std::vector<int>& row) { EXPECT_EQ(row, (std::vector<int>{40, 183})); }},
  };
  for (const FilterInfo& info : OfferedFilters()) {
    const std::string label(info.label);
    const auto resampler = MakeResampler(info.id);
    ASSERT_NE(resampler, nullptr) << label;
    if (const auto kernel = kernels.find(label); kernel != kernels.end()) {
      ExpectKernel(*resampler, kernel->second, label);
    } else if (const auto reduction = reductions.find(label); reduction != reductions.end()) {
      EXPECT_EQ(KernelOf(*resampler), nullptr) << label;
      SCOPED_TRACE(label);
      reduction->second(HalveRow(info.id));
    } else {
      ADD_FAILURE() << "no expectation for the label \"" << label << "\"";
    }
  }
  EXPECT_EQ(OfferedFilters().size(), kernels.size() + reductions.size());

  // A window list emptied by the user scales with the kernel resampler's box kernel.
  const auto unselected = MakeResampler(FilterAtListPosition(-1));
  ExpectKernel(*unselected, {BoxOfWidthOne, 1}, "no item selected");
}

TEST(Filters, NamesLabelsAndListPositionsLeadBackToTheirFilter) {
  std::set<std::string> names, labels;
  for (const FilterInfo& info : OfferedFilters()) {
    EXPECT_TRUE(names.emplace(info.name).second) << info.name;
    EXPECT_TRUE(labels.emplace(info.label).second) << info.label;
    ASSERT_NE(FindFilterByName(info.name), nullptr) << info.name;
    EXPECT_EQ(FindFilterByName(info.name)->id, info.id);
    EXPECT_EQ(FilterAtListPosition(ListPositionOf(info.id)), info.id);
    EXPECT_EQ(InfoOf(info.id).label, info.label);
  }
  EXPECT_EQ(FindFilterByName(""), nullptr);
  EXPECT_EQ(FindFilterByName("Lanczos3"), nullptr);  // names are lower case
  EXPECT_EQ(ListPositionOf(Filter::kBoxKernel), -1);
  for (int position : {-1, 8, 255}) EXPECT_EQ(FilterAtListPosition(position), Filter::kBoxKernel);
  EXPECT_EQ(InfoOf(kDefaultFilter).name, "lanczos3");
}

}  // namespace
}  // namespace tessane
