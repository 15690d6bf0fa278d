#include "raster/filters.h"

#include "raster/draft_resampler.h"
#include "raster/kernel_resampler.h"
#include "raster/linear_resampler.h"
#include "raster/nearest_resampler.h"

namespace tessane {

namespace {

template <typename KernelType>
std::unique_ptr<Resampler> WithKernel() {
  auto resampler = std::make_unique<KernelResampler>();
  resampler->SetKernel(std::make_unique<KernelType>());
  return resampler;
}

template <typename ResamplerType>
std::unique_ptr<Resampler> Plain() {
  return std::make_unique<ResamplerType>();
}

// Hermite and Bell keep the kernels they have always scaled with (the raised cosine and the
// cubic B-spline), so that earlier outputs stay reproducible.
constexpr FilterInfo kFilters[] = {
    {Filter::kNone, "none", "None", Plain<NearestResampler>},
    {Filter::kBox, "box", "Box", Plain<DraftResampler>},
    {Filter::kTriangle, "triangle", "Triangle", Plain<LinearResampler>},
    {Filter::kHermite, "hermite", "Hermite", WithKernel<CosineKernel>},
    {Filter::kBell, "bell", "Bell", WithKernel<SplineKernel>},
    {Filter::kBSpline, "bspline", "BSpline", WithKernel<SplineKernel>},
    {Filter::kLanczos3, "lanczos3", "Lanczos3", WithKernel<LanczosKernel>},
    {Filter::kMitchell, "mitchell", "Mitchell ", WithKernel<MitchellKernel>},
    {Filter::kBoxKernel, "", "", Plain<KernelResampler>},
};
constexpr size_t kOffered = 8;

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < std::size(kFilters); ++i)
    if (static_cast<size_t>(kFilters[i].id) != i) return false;
  return true;
}
static_assert(InEnumOrder(), "InfoOf indexes the table by the enum's value");

}  // namespace

std::span<const FilterInfo> AllFilters() {
  return kFilters;
}

std::span<const FilterInfo> OfferedFilters() {
  return std::span<const FilterInfo>(kFilters).first(kOffered);
}

const FilterInfo& InfoOf(Filter filter) {
  const auto index = static_cast<size_t>(filter);
  return kFilters[index < std::size(kFilters) ? index : static_cast<size_t>(Filter::kBoxKernel)];
}

const FilterInfo* FindFilterByName(std::string_view name) {
  for (const FilterInfo& info : OfferedFilters())
    if (info.name == name) return &info;
  return nullptr;
}

int ListPositionOf(Filter filter) {
  const auto offered = OfferedFilters();
  for (size_t i = 0; i < offered.size(); ++i)
    if (offered[i].id == filter) return static_cast<int>(i);
  return -1;
}

Filter FilterAtListPosition(int position) {
  const auto offered = OfferedFilters();
  return position >= 0 && static_cast<size_t>(position) < offered.size() ? offered[position].id
                                                                         : Filter::kBoxKernel;
}

std::unique_ptr<Resampler> MakeResampler(Filter filter) {
  return InfoOf(filter).make_resampler();
}

}  // namespace tessane
