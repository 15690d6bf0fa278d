#include "jobs/box.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "base/paths.h"

namespace tessane {

namespace {

// a * b / c truncated, as the plain size's arithmetic does, but in 64 bits and never below 1.
int32_t ScaledSide(int64_t a, int64_t b, int64_t c) {
  return static_cast<int32_t>(std::clamp<int64_t>(a * b / c, 1, kMaxBoxSide));
}

// a * b / c rounded to nearest, within 1 .. limit.
int32_t RoundedSide(int64_t a, int64_t b, int64_t c, int32_t limit) {
  return static_cast<int32_t>(std::clamp<int64_t>((2 * a * b + c) / (2 * c), 1, limit));
}

std::optional<int32_t> ParseSide(std::string_view text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxBoxSide)
    return std::nullopt;
  return value;
}

// Offset of a cut of `part` within `whole` on one axis: -1 towards the start, 0 centred, 1 the end.
int32_t Place(int32_t whole, int32_t part, int where) {
  return where < 0 ? 0 : where > 0 ? whole - part : (whole - part) / 2;
}

int Horizontal(Gravity g) {
  switch (g) {
    case Gravity::kWest:
    case Gravity::kNorthWest:
    case Gravity::kSouthWest:
      return -1;
    case Gravity::kEast:
    case Gravity::kNorthEast:
    case Gravity::kSouthEast:
      return 1;
    default:
      return 0;
  }
}

int Vertical(Gravity g) {
  switch (g) {
    case Gravity::kNorth:
    case Gravity::kNorthEast:
    case Gravity::kNorthWest:
      return -1;
    case Gravity::kSouth:
    case Gravity::kSouthEast:
    case Gravity::kSouthWest:
      return 1;
    default:
      return 0;
  }
}

// Covering a box larger than the picture on either side means enlarging it.
bool FillEnlarges(int32_t width, int32_t height, const Box& box) {
  return box.width > width || box.height > height;
}

}  // namespace

std::optional<Box> ParseBoxSize(const std::string& text, BoxKind kind) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto width = ParseSide(std::string_view(text).substr(0, x));
  const auto height = ParseSide(std::string_view(text).substr(x + 1));
  if (!width || !height) return std::nullopt;
  return Box{kind, *width, *height, Gravity::kCentre};
}

std::optional<Gravity> ParseGravity(const std::string& text) {
  static const std::map<std::string, Gravity> names = {
      {"centre", Gravity::kCentre},       {"center", Gravity::kCentre},
      {"north", Gravity::kNorth},         {"south", Gravity::kSouth},
      {"east", Gravity::kEast},           {"west", Gravity::kWest},
      {"northeast", Gravity::kNorthEast}, {"northwest", Gravity::kNorthWest},
      {"southeast", Gravity::kSouthEast}, {"southwest", Gravity::kSouthWest}};
  const auto it = names.find(LowerCaseAscii(text));
  if (it == names.end()) return std::nullopt;
  return it->second;
}

int BoxJpegScaleDenominator(int32_t width, int32_t height, const Box& box) {
  const double r =
      std::min(static_cast<double>(width) / box.width, static_cast<double>(height) / box.height);
  return r > 8 ? 8 : r > 4 ? 4 : r > 2 ? 2 : 1;
}

Rect BoxTargetRect(int32_t width, int32_t height, const Box& box, bool shrinkOnly) {
  if (width <= 0 || height <= 0) return Rect{0, 0, box.width, box.height};
  if (box.kind == BoxKind::kFill) {
    if (shrinkOnly && FillEnlarges(width, height, box))
      return Rect{0, 0, std::min(box.width, width), std::min(box.height, height)};
    return Rect{0, 0, box.width, box.height};
  }
  if (shrinkOnly && width <= box.width && height <= box.height) return Rect{0, 0, width, height};
  // The side that meets the box first takes its size; the other follows the aspect.
  if (int64_t{width} * box.height >= int64_t{height} * box.width)
    return Rect{0, 0, box.width, ScaledSide(box.width, height, width)};
  return Rect{0, 0, ScaledSide(box.height, width, height), box.height};
}

Rect BoxSourceRect(int32_t width, int32_t height, const Box& box, bool shrinkOnly) {
  if (box.kind == BoxKind::kFit || width <= 0 || height <= 0) return Rect{0, 0, width, height};
  int32_t cutWidth = width, cutHeight = height;
  if (shrinkOnly && FillEnlarges(width, height, box)) {
    cutWidth = std::min(box.width, width);
    cutHeight = std::min(box.height, height);
  } else if (int64_t{width} * box.height > int64_t{height} * box.width) {
    cutWidth = RoundedSide(height, box.width, box.height, width);
  } else {
    cutHeight = RoundedSide(width, box.height, box.width, height);
  }
  const int32_t left = Place(width, cutWidth, Horizontal(box.gravity));
  const int32_t top = Place(height, cutHeight, Vertical(box.gravity));
  return Rect{left, top, left + cutWidth, top + cutHeight};
}

}  // namespace tessane
