#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>

#include "formats/gif/color_quantizer.h"
#include "formats/png_gif_test_support.h"

namespace tessane {
namespace {

using test::MakeBitmap32;

uint32_t Rgb(const PaletteEntry& c) {
  return (c.red << 16) | (c.green << 8) | c.blue;
}

std::vector<uint32_t> Rgbs(const std::vector<PaletteEntry>& palette) {
  std::vector<uint32_t> out;
  for (const auto& c : palette) out.push_back(Rgb(c));
  return out;
}

/// The palette with the reserved colours and `middle` from entry 10 on, black elsewhere.
std::vector<uint32_t> ExpectedPalette(const std::vector<uint32_t>& middle) {
  std::vector<uint32_t> out(256, 0);
  for (int i = 0; i < 10; ++i) out[i] = Rgb(kReservedColors[i]);
  for (int i = 0; i < 10; ++i) out[246 + i] = Rgb(kReservedColors[10 + i]);
  std::copy(middle.begin(), middle.end(), out.begin() + 10);
  return out;
}

TEST(Quantizer, PaletteLayout) {
  struct Case {
    const char* what;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> middle;
  };
  const Case cases[] = {
      // Blue takes child 1 at level 0, red child 4: blue comes first.
      {"red and blue", {0xFFFF0000u, 0xFF0000FFu, 0xFFFF0000u}, {0x0000FF, 0xFF0000}},
      {"one colour fills only entry 10", {0x12345678u, 0xFF345678u}, {0x345678}},
  };
  for (const auto& c : cases) {
    const DibImage bitmap =
        MakeBitmap32(static_cast<int>(c.pixels.size()), 1, [&](int x, int) { return c.pixels[x]; });
    EXPECT_EQ(Rgbs(BuildOctreePalette(bitmap)), ExpectedPalette(c.middle)) << c.what;
  }
}

TEST(Quantizer, MergesBeginAtTheDeepestLevelWithTheNodeCreatedLast) {
  // 236 colours in pairs that share a level-7 node: (2k, 0, 0) and (2k + 1, 0, 0).
  ColorQuantizer quantizer(236, 8);
  auto add = [&](uint8_t r, uint8_t g, uint8_t b) {
    quantizer.AddPixel(r, g, b);
    while (quantizer.Leaves() > quantizer.ColorLimit()) quantizer.MergeNode();
  };
  for (int k = 0; k < 118; ++k) {
    add(static_cast<uint8_t>(2 * k), 0, 0);
    add(static_cast<uint8_t>(2 * k + 1), 0, 0);
    add(static_cast<uint8_t>(2 * k + 1), 0, 0);
  }
  EXPECT_EQ(quantizer.Leaves(), 236);  // no merge yet
  // The 237th colour opens a new level-7 node. Merging that node alone leaves 237 leaves, so
  // the node created before it, the pair (234, 235), is merged next: mean (234 + 2 * 235) / 3.
  add(0, 2, 0);
  EXPECT_EQ(quantizer.Leaves(), 236);
  const auto leaves = Rgbs(quantizer.CollectLeaves());
  ASSERT_EQ(leaves.size(), 236u);
  EXPECT_NE(std::find(leaves.begin(), leaves.end(), 0x000200u), leaves.end());
  EXPECT_NE(std::find(leaves.begin(), leaves.end(), 234u << 16), leaves.end());
  EXPECT_EQ(std::find(leaves.begin(), leaves.end(), 235u << 16), leaves.end());
  EXPECT_NE(std::find(leaves.begin(), leaves.end(), 233u << 16), leaves.end());
  // Later pixels reaching a merged leaf are summed into it; no leaf grows below it again.
  add(235, 0, 0);
  add(0, 2, 0);
  add(235, 0, 0);
  EXPECT_EQ(quantizer.Leaves(), 236);
  const auto after = Rgbs(quantizer.CollectLeaves());
  EXPECT_EQ(std::find(after.begin(), after.end(), 235u << 16), after.end());
  EXPECT_NE(std::find(after.begin(), after.end(), 0x000200u), after.end());
}

/// A plain pointer octree following the same rules, to check the pooled, cached one against.
class ReferenceOctree {
 public:
  explicit ReferenceOctree(int limit) : limit_(limit) {}

  void Add(int r, int g, int b) {
    std::unique_ptr<Node>* link = &root_;
    for (int level = 0;; ++level) {
      if (!*link) {
        *link = std::make_unique<Node>();
        if (level == 8) {
          (*link)->leaf = true;
          ++leaves_;
        } else {
          lists_[level].push_back(link->get());
        }
      }
      Node* node = link->get();
      if (node->leaf) {
        ++node->count;
        node->r += r;
        node->g += g;
        node->b += b;
        break;
      }
      const int s = 7 - level;
      link = &node->children[(((r >> s) & 1) << 2) | (((g >> s) & 1) << 1) | ((b >> s) & 1)];
    }
    while (leaves_ > limit_) Merge();
  }

  std::vector<uint32_t> Colors() const {
    std::vector<uint32_t> out;
    Collect(root_.get(), out);
    return out;
  }

 private:
  struct Node {
    bool leaf = false;
    long long count = 0, r = 0, g = 0, b = 0;
    std::unique_ptr<Node> children[8];
  };

  void Merge() {
    int level = 7;
    while (level > 0 && lists_[level].empty()) --level;
    Node* node = lists_[level].back();
    lists_[level].pop_back();
    int merged = 0;
    for (auto& child : node->children) {
      if (!child) continue;
      node->count += child->count;
      node->r += child->r;
      node->g += child->g;
      node->b += child->b;
      child.reset();
      ++merged;
    }
    node->leaf = true;
    leaves_ -= merged - 1;
  }

  static void Collect(const Node* node, std::vector<uint32_t>& out) {
    if (node == nullptr) return;
    if (node->leaf) {
      out.push_back(static_cast<uint32_t>(((node->r / node->count) << 16) |
                                          ((node->g / node->count) << 8) |
                                          (node->b / node->count)));
      return;
    }
    for (const auto& child : node->children) Collect(child.get(), out);
  }

  int limit_;
  int leaves_ = 0;
  std::unique_ptr<Node> root_;
  std::vector<Node*> lists_[8];
};

TEST(Quantizer, PaletteMatchesAPlainOctree) {
  std::mt19937 random(17);
  for (int round = 0; round < 6; ++round) {
    // Runs of equal pixels (the leaf cache) between fresh colours (merges), with clusters that
    // make merged leaves receive later pixels.
    uint32_t current = 0;
    const DibImage bitmap = MakeBitmap32(160, 120, [&](int, int) {
      if (random() % 4 == 0) {
        current = random() % 3 == 0 ? random() : (current + random() % 9) * 2654435761u;
      }
      return current | 0xFF000000u;
    });
    ReferenceOctree reference(236);
    for (const uint32_t c : test::OpaquePixels(bitmap))
      reference.Add((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    EXPECT_EQ(Rgbs(BuildOctreePalette(bitmap)), ExpectedPalette(reference.Colors()))
        << "round " << round;
  }
}

TEST(Quantizer, NearestColourIsExactWithTiesToTheLowerIndex) {
  std::mt19937 random(23);
  for (int round = 0; round < 20; ++round) {
    // Few distinct values make many equal distances; duplicates test the tie rule.
    std::vector<PaletteEntry> palette(round % 2 ? 256 : 1 + random() % 256);
    for (auto& c : palette) {
      const int spread = round < 10 ? 4 : 256;
      c = PaletteColor(static_cast<uint8_t>(random() % spread * (256 / spread)),
                       static_cast<uint8_t>(random() % spread * (256 / spread)),
                       static_cast<uint8_t>(random() % spread * (256 / spread)));
    }
    SlowColorLookup lookup(palette);
    for (int i = 0; i < 3000; ++i) {
      const int r = random() % 256, g = random() % 256, b = random() % 256;
      int best = INT_MAX, best_index = -1;
      for (size_t k = 0; k < palette.size(); ++k) {
        const int dr = palette[k].red - r, dg = palette[k].green - g, db = palette[k].blue - b;
        if (dr * dr + dg * dg + db * db < best) {
          best = dr * dr + dg * dg + db * db;
          best_index = static_cast<int>(k);
        }
      }
      // Asked twice: the second answer comes from the cache.
      ASSERT_EQ(lookup.Nearest(r, g, b), best_index) << r << "," << g << "," << b;
      ASSERT_EQ(lookup.Nearest(r, g, b), best_index);
    }
  }
}

TEST(Quantizer, ReduceBitmapMapsEveryPixelToItsNearestEntry) {
  std::mt19937 random(31);
  DibImage source = MakeBitmap32(90, 70, [&](int x, int y) {
    return (random() & 0xFF000000u) | ((x * 3) << 16) | ((y * 3) << 8) | (random() % 64);
  });
  const DibImage copy = [&] {
    DibImage c;
    c.Assign(source);
    return c;
  }();
  const auto reduced = ReduceBitmap(source, 8, 0);
  ASSERT_EQ(reduced->PixelFormat(), DibFormat::k8Bit);
  ASSERT_EQ(reduced->Palette().size(), 256u);
  EXPECT_EQ(reduced->Palette(), BuildOctreePalette(source));
  SlowColorLookup lookup(reduced->Palette());
  const auto pixels = test::OpaquePixels(source);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 90; ++x) {
      const uint32_t c = pixels[y * 90 + x];
      ASSERT_EQ(reduced->ScanLine(y)[x], lookup.Nearest(c >> 16, c >> 8, c));
    }
  EXPECT_EQ(test::OpaquePixels(source), test::OpaquePixels(copy));  // source untouched
}

}  // namespace
}  // namespace tessane
