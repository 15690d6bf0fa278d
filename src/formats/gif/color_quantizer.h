#pragma once
// Colour reduction of GIF output: an octree palette that keeps the twenty reserved system colours
// in their places, and the mapping of every pixel to its nearest palette entry (no dithering).

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/bmp/dib_image.h"

namespace tessane {

/// The reserved system colours: entries 0-9 and 246-255 of every reduced palette.
extern const std::array<PaletteEntry, 20> kReservedColors;

/// Octree colour quantiser. AddPixel sums a colour into the leaf its bits lead to (bit 7 of red,
/// green and blue choose the child at level 0, bit 0 at level 7; new nodes at level Depth are
/// leaves). MergeNode folds the inner node created last at the deepest level that has unmerged
/// inner nodes into a leaf. The caller merges while Leaves() > ColorLimit().
class ColorQuantizer {
 public:
  /// `depth` is clamped to 1..8.
  ColorQuantizer(int color_limit, int depth);

  void AddPixel(uint8_t red, uint8_t green, uint8_t blue);
  void MergeNode();
  /// Leaf colours depth-first, children in order 0 to 7: each the integer mean of its pixels
  /// (black for a leaf without pixels).
  std::vector<PaletteEntry> CollectLeaves() const;

  int Leaves() const { return leaves_; }
  int ColorLimit() const { return color_limit_; }
  int Depth() const { return depth_; }

 private:
  struct OctreeNode {
    bool leaf = false;
    // 64-bit sums: a leaf can hold every pixel of the largest picture we allow.
    int64_t count = 0;
    int64_t sum_r = 0, sum_g = 0, sum_b = 0;
    int32_t next_at_level = -1;
    std::array<int32_t, 8> children{-1, -1, -1, -1, -1, -1, -1, -1};
  };

  int32_t NewNode(int level);
  void FreeNode(int32_t index);
  void Collect(int32_t index, std::vector<PaletteEntry>& out) const;

  std::vector<OctreeNode> nodes_;  // pool; freed nodes are reused
  std::vector<int32_t> free_nodes_;
  int32_t root_ = -1;
  int leaves_ = 0;
  std::array<int32_t, 8> level_lists_{-1, -1, -1, -1, -1, -1, -1, -1};
  int color_limit_;
  int depth_;
  // The leaf the last colour reached; valid until a merge, which may remove that leaf.
  uint32_t cached_color_ = 0xFFFFFFFFu;
  int32_t cached_leaf_ = -1;
};

/// Builds a palette of `colors` entries (21 to 256) from every pixel of `source`, rows top-down:
/// with `keep_reserved` the first and last ten entries are the reserved colours and the
/// quantiser (limit colors - 20) fills the entries from 10 on; entries left over are black.
std::vector<PaletteEntry> BuildOctreePalette(const DibImage& source, int colors = 256, int depth = 8,
                                         bool keep_reserved = true);

/// Nearest palette entry of a colour: the smallest squared RGB distance, ties to the lower index,
/// so a colour present in the palette is always found exactly. The colour cube is cut into
/// 16 x 16 x 16 cells; each cell, when first used, lists the only entries that can be nearest to
/// a colour inside it. A 32K-entry cache keyed (and verified) by the colour remembers answers.
class SlowColorLookup {
 public:
  explicit SlowColorLookup(const std::vector<PaletteEntry>& palette);
  uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue);

 private:
  struct LookupEntry {
    int red, green, blue, index;
  };
  uint8_t Search(int red, int green, int blue);
  void BuildCell(int cell);

  std::vector<LookupEntry> entries_;
  std::vector<int32_t> cell_start_;  // per cell: first candidate in candidates_, -1 before use
  std::vector<uint16_t> cell_count_;
  std::vector<uint8_t> candidates_;  // palette positions, ascending within a cell
  std::vector<uint32_t> cache_keys_;
  std::vector<uint8_t> cache_values_;
};

/// A new 8-bit bitmap of the source's size whose 256-entry colour table is BuildOctreePalette
/// (source, 256, 8, true) and whose every pixel is the nearest entry to the source pixel's red,
/// green and blue (alpha plays no part). The source is not changed. Every reduction value and
/// dither mode reduce this way. Throws OutOfResourcesError "Failed to allocate memory for GIF DIB"
/// when the result cannot be allocated.
std::unique_ptr<DibImage> ReduceBitmap(const DibImage& source, uint8_t reduction,
                                      uint8_t dither_mode);

}  // namespace tessane
