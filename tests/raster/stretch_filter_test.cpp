// The resampler and kernel each stretch filter value selects.

#include <gtest/gtest.h>

#include <memory>

#include "raster/kernel_resampler.h"
#include "raster/stretch.h"

namespace tessane {
namespace {

TEST(MakeResampler, EachStretchFilterSelectsItsResamplerAndKernel) {
  struct Case {
    int value;
    const char* resampler;
    const char* kernel;
  };
  const Case cases[] = {
      {0, "TNearestResampler", nullptr},          {1, "TDraftResampler", nullptr},
      {2, "TLinearResampler", nullptr},           {3, "TKernelResampler", "TCosineKernel"},
      {4, "TKernelResampler", "TSplineKernel"},   {5, "TKernelResampler", "TLanczosKernel"},
      {6, "TKernelResampler", "TMitchellKernel"}, {7, "TKernelResampler", "TBoxKernel"},
      {8, "TKernelResampler", "TBoxKernel"},      {255, "TKernelResampler", "TBoxKernel"},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<Resampler> resampler = MakeResampler(static_cast<uint8_t>(c.value));
    EXPECT_STREQ(resampler->ClassName(), c.resampler) << c.value;
    if (c.kernel != nullptr) {
      const auto* k = dynamic_cast<const KernelResampler*>(resampler.get());
      ASSERT_NE(k, nullptr);
      EXPECT_STREQ(k->kernel().ClassName(), c.kernel) << c.value;
    }
  }
  const auto lanczos = MakeResampler(kStretchLanczos);
  EXPECT_EQ(static_cast<const LanczosKernel&>(
                static_cast<const KernelResampler&>(*lanczos).kernel()).Width(),
            3.0f);
}

}  // namespace
}  // namespace tessane
