#pragma once
// The resampling filters: one table of every filter a job can use, read by the window's filter
// list, tessane-cli's --filter, the resize job and the tests alike.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "raster/resampler.h"

namespace tessane {

/// A resampling filter. The first eight are offered by name, in the window's list order.
enum class Filter : uint8_t {
  kNone,
  kBox,
  kTriangle,
  kHermite,
  kBell,
  kBSpline,
  kLanczos3,
  kMitchell,
  /// The kernel resampler with its box kernel: what the window scales with while its filter
  /// field is emptied. Offered by no name.
  kBoxKernel,
};

/// What the job scales with when nothing else is asked for.
inline constexpr Filter kDefaultFilter = Filter::kLanczos3;

struct FilterInfo {
  Filter id;
  std::string_view name;   // tessane-cli's --filter value; empty when not offered
  std::string_view label;  // the window's list item; empty when not offered
  std::unique_ptr<Resampler> (*make_resampler)();
};

/// Every filter, offered ones first in list order, each once.
std::span<const FilterInfo> AllFilters();
/// The filters offered by name and label, in the window's list order.
std::span<const FilterInfo> OfferedFilters();
const FilterInfo& InfoOf(Filter filter);
/// The offered filter with this command-line name, or nullptr.
const FilterInfo* FindFilterByName(std::string_view name);
/// The filter's position in the window's list; -1 for one not offered.
int ListPositionOf(Filter filter);
/// The filter at a position of the window's list; a position outside it (no item selected)
/// gives kBoxKernel.
Filter FilterAtListPosition(int position);
/// A new resampler that scales as `filter` says.
std::unique_ptr<Resampler> MakeResampler(Filter filter);

}  // namespace tessane
