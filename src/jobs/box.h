#pragma once
// Box sizing of the resize work: --fit (the largest picture inside a box, aspect kept) and --fill
// (cover the box, then cut to exactly its size at a gravity).

#include <cstdint>
#include <optional>
#include <string>

#include "base/geometry.h"

namespace tessane {

enum class BoxKind { kFit, kFill };

/// Where a fill cut sits on the axis that is cut.
enum class Gravity {
  kCentre,
  kNorth,
  kSouth,
  kEast,
  kWest,
  kNorthEast,
  kNorthWest,
  kSouthEast,
  kSouthWest
};

struct Box {
  BoxKind kind = BoxKind::kFit;
  int32_t width = 0;
  int32_t height = 0;
  Gravity gravity = Gravity::kCentre;
  bool operator==(const Box&) const = default;
};

/// Largest side a box may have, as for --size.
inline constexpr int32_t kMaxBoxSide = 65535;

/// "WxH" (or "WXH") with both sides from 1 to kMaxBoxSide; nothing for anything else.
std::optional<Box> ParseBoxSize(const std::string& text, BoxKind kind);
/// centre (center), north, south, east, west, northeast, northwest, southeast, southwest.
std::optional<Gravity> ParseGravity(const std::string& text);

/// The JPEG decoding scale's denominator (1, 2, 4 or 8) for a box: the rule of a plain size,
/// on the smaller of the two side ratios, so the decoded picture stays above the box on both
/// sides whenever it is reduced at all.
int BoxJpegScaleDenominator(int32_t width, int32_t height, const Box& box);

/// Size of the output of a width x height picture (never 0 on a side). With shrinkOnly a picture
/// is never enlarged: within a fit box it keeps its size; a fill box larger than the picture on
/// a side is cut to the picture on that side.
Rect BoxTargetRect(int32_t width, int32_t height, const Box& box, bool shrinkOnly);

/// The part of the picture that is scaled onto the target: the whole picture for a fit box; for
/// a fill box the largest part with the box's aspect (or, when shrinkOnly keeps the picture from
/// being enlarged, a part of exactly the target's size), placed by the gravity.
Rect BoxSourceRect(int32_t width, int32_t height, const Box& box, bool shrinkOnly);

}  // namespace tessane
