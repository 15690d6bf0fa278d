#include "formats/gif/color_quantizer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "base/errors.h"

namespace tessane {

const std::array<PaletteEntry, 20> kReservedColors = {
    PaletteColor(0, 0, 0),       PaletteColor(128, 0, 0),     PaletteColor(0, 128, 0),
    PaletteColor(128, 128, 0),   PaletteColor(0, 0, 128),     PaletteColor(128, 0, 128),
    PaletteColor(0, 128, 128),   PaletteColor(192, 192, 192), PaletteColor(192, 220, 192),
    PaletteColor(166, 202, 240), PaletteColor(255, 251, 240), PaletteColor(160, 160, 164),
    PaletteColor(128, 128, 128), PaletteColor(255, 0, 0),     PaletteColor(0, 255, 0),
    PaletteColor(255, 255, 0),   PaletteColor(0, 0, 255),     PaletteColor(255, 0, 255),
    PaletteColor(0, 255, 255),   PaletteColor(255, 255, 255),
};

ColorQuantizer::ColorQuantizer(int color_limit, int depth)
    : color_limit_(color_limit), depth_(std::clamp(depth, 1, 8)) {}

int32_t ColorQuantizer::NewNode(int level) {
  int32_t index;
  if (!free_nodes_.empty()) {
    index = free_nodes_.back();
    free_nodes_.pop_back();
    nodes_[index] = OctreeNode{};
  } else {
    index = static_cast<int32_t>(nodes_.size());
    nodes_.emplace_back();
  }
  if (level == depth_) {
    nodes_[index].leaf = true;
    ++leaves_;
  } else {
    nodes_[index].next_at_level = level_lists_[level];
    level_lists_[level] = index;
  }
  return index;
}

void ColorQuantizer::FreeNode(int32_t index) {
  for (int32_t child : nodes_[index].children)
    if (child >= 0) FreeNode(child);
  free_nodes_.push_back(index);
}

void ColorQuantizer::AddPixel(uint8_t red, uint8_t green, uint8_t blue) {
  const uint32_t color = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
  int32_t index = cached_leaf_;
  if (color != cached_color_ || index < 0) {
    if (root_ < 0) root_ = NewNode(0);
    index = root_;
    for (int level = 0; !nodes_[index].leaf; ++level) {
      const int shift = 7 - level;
      const int child =
          (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
      int32_t next = nodes_[index].children[child];
      if (next < 0) {
        next = NewNode(level + 1);  // may move the pool: index it again afterwards
        nodes_[index].children[child] = next;
      }
      index = next;
    }
    cached_color_ = color;
    cached_leaf_ = index;
  }
  OctreeNode& leaf = nodes_[index];
  ++leaf.count;
  leaf.sum_r += red;
  leaf.sum_g += green;
  leaf.sum_b += blue;
}

void ColorQuantizer::MergeNode() {
  int level = depth_ - 1;
  while (level > 0 && level_lists_[level] < 0) --level;
  const int32_t index = level_lists_[level];
  if (index < 0) return;
  OctreeNode& node = nodes_[index];
  level_lists_[level] = node.next_at_level;
  int merged = 0;
  for (int32_t& child : node.children) {
    if (child < 0) continue;
    // The deepest level goes first, so every child is a leaf by now.
    const OctreeNode& c = nodes_[child];
    node.sum_r += c.sum_r;
    node.sum_g += c.sum_g;
    node.sum_b += c.sum_b;
    node.count += c.count;
    FreeNode(child);
    child = -1;
    ++merged;
  }
  node.leaf = true;
  leaves_ -= merged - 1;
  cached_color_ = 0xFFFFFFFFu;
  cached_leaf_ = -1;
}

void ColorQuantizer::Collect(int32_t index, std::vector<PaletteEntry>& out) const {
  const OctreeNode& node = nodes_[index];
  if (node.leaf) {
    if (node.count == 0) {
      out.push_back(PaletteColor(0, 0, 0));
    } else {
      out.push_back(PaletteColor(static_cast<uint8_t>(node.sum_r / node.count),
                                 static_cast<uint8_t>(node.sum_g / node.count),
                                 static_cast<uint8_t>(node.sum_b / node.count)));
    }
    return;
  }
  for (int32_t child : node.children)
    if (child >= 0) Collect(child, out);
}

std::vector<PaletteEntry> ColorQuantizer::CollectLeaves() const {
  std::vector<PaletteEntry> out;
  if (root_ >= 0) Collect(root_, out);
  return out;
}

std::vector<PaletteEntry> BuildOctreePalette(const DibImage& source, int colors, int depth,
                                             bool keep_reserved) {
  colors = std::clamp(colors, keep_reserved ? 21 : 1, 256);
  std::vector<PaletteEntry> palette(static_cast<size_t>(colors));
  int first = 0, limit = colors;
  if (keep_reserved) {
    std::copy(kReservedColors.begin(), kReservedColors.begin() + 10, palette.begin());
    std::copy(kReservedColors.begin() + 10, kReservedColors.end(), palette.end() - 10);
    first = 10;
    limit = colors - 20;
  }
  ColorQuantizer quantizer(limit, depth);
  std::vector<uint32_t> row(static_cast<size_t>(source.Width()));
  for (int32_t y = 0; y < source.Height(); ++y) {
    source.ToColor32Row(y, row.data());
    for (const uint32_t c : row) {
      quantizer.AddPixel(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                         static_cast<uint8_t>(c));
      while (quantizer.Leaves() > limit) quantizer.MergeNode();
    }
  }
  const std::vector<PaletteEntry> leaves = quantizer.CollectLeaves();
  std::copy(leaves.begin(), leaves.begin() + std::min<size_t>(leaves.size(), limit),
            palette.begin() + first);
  return palette;
}

namespace {
constexpr size_t kCacheSize = 32768;
constexpr size_t kCellCount = 16 * 16 * 16;

uint32_t CacheSlot(uint32_t key) {
  return (key * 2654435761u) >> 17;
}
}  // namespace

SlowColorLookup::SlowColorLookup(const std::vector<PaletteEntry>& palette)
    : cell_start_(kCellCount, -1),
      cell_count_(kCellCount, 0),
      cache_keys_(kCacheSize, 0xFFFFFFFFu),
      cache_values_(kCacheSize, 0) {
  for (size_t i = 0; i < palette.size() && i < 256; ++i)
    entries_.push_back(
        LookupEntry{palette[i].red, palette[i].green, palette[i].blue, static_cast<int>(i)});
}

void SlowColorLookup::BuildCell(int cell) {
  // Bounds of the cell on each axis.
  const int low[3] = {(cell >> 8) << 4, ((cell >> 4) & 15) << 4, (cell & 15) << 4};
  auto near_far = [&](const LookupEntry& e, int* nearest, int* farthest) {
    const int v[3] = {e.red, e.green, e.blue};
    *nearest = *farthest = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const int lo = low[axis], hi = lo + 15;
      const int in = v[axis] < lo ? lo - v[axis] : v[axis] > hi ? v[axis] - hi : 0;
      const int out = std::max(std::abs(v[axis] - lo), std::abs(v[axis] - hi));
      *nearest += in * in;
      *farthest += out * out;
    }
  };
  // Every colour of the cell is within `bound` of some entry, so an entry whose nearest point
  // of the cell is farther than that can never be the (or a tied) nearest entry.
  int bound = INT_MAX;
  for (const LookupEntry& e : entries_) {
    int nearest, farthest;
    near_far(e, &nearest, &farthest);
    bound = std::min(bound, farthest);
  }
  cell_start_[cell] = static_cast<int32_t>(candidates_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    int nearest, farthest;
    near_far(entries_[i], &nearest, &farthest);
    if (nearest <= bound) candidates_.push_back(static_cast<uint8_t>(i));
  }
  cell_count_[cell] = static_cast<uint16_t>(candidates_.size() - cell_start_[cell]);
}

uint8_t SlowColorLookup::Search(int red, int green, int blue) {
  const int cell = ((red >> 4) << 8) | ((green >> 4) << 4) | (blue >> 4);
  if (cell_start_[cell] < 0) BuildCell(cell);
  const uint8_t* candidate = candidates_.data() + cell_start_[cell];
  int best = INT_MAX, best_index = 0;
  // Candidates are in palette order, so keeping the first of equal distances keeps the lower
  // index.
  for (int k = 0; k < cell_count_[cell]; ++k) {
    const LookupEntry& e = entries_[candidate[k]];
    const int dr = e.red - red, dg = e.green - green, db = e.blue - blue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      best_index = e.index;
    }
  }
  return static_cast<uint8_t>(best_index);
}

uint8_t SlowColorLookup::Nearest(uint8_t red, uint8_t green, uint8_t blue) {
  const uint32_t key = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
  const uint32_t slot = CacheSlot(key);
  if (cache_keys_[slot] != key) {
    cache_keys_[slot] = key;
    cache_values_[slot] = Search(red, green, blue);
  }
  return cache_values_[slot];
}

std::unique_ptr<DibImage> ReduceBitmap(const DibImage& source, uint8_t /*reduction*/,
                                       uint8_t /*dither_mode*/) {
  const std::vector<PaletteEntry> palette = BuildOctreePalette(source, 256, 8, true);
  auto result = std::make_unique<DibImage>();
  try {
    result->SetPixelFormat(DibFormat::k8Bit);
    result->SetSize(source.Width(), source.Height());
  } catch (const std::bad_alloc&) {
    throw OutOfResourcesError("Failed to allocate memory for GIF DIB");
  } catch (const OutOfResourcesError&) {
    throw OutOfResourcesError("Failed to allocate memory for GIF DIB");
  }
  result->SetPalette(palette);
  SlowColorLookup lookup(palette);
  std::vector<uint32_t> row(static_cast<size_t>(source.Width()));
  for (int32_t y = 0; y < source.Height(); ++y) {
    source.ToColor32Row(y, row.data());
    uint8_t* out = result->ScanLine(y);
    uint32_t last = 0xFFFFFFFFu;
    uint8_t last_index = 0;
    for (int32_t x = 0; x < source.Width(); ++x) {
      const uint32_t c = row[x] & 0x00FFFFFFu;
      if (c != last) {
        last = c;
        last_index = lookup.Nearest(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                    static_cast<uint8_t>(c));
      }
      out[x] = last_index;
    }
  }
  return result;
}

}  // namespace tessane
