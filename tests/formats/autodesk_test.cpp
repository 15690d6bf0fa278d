#include "formats/autodesk/autodesk_graphic.h"

#include <gtest/gtest.h>

#include <array>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected Autodesk image format.";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<AutodeskGraphic>(bytes);
}

void Append(std::vector<uint8_t>& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An Animator cel: 32-byte header, 256 colours of 6-bit levels, then the pixels.
std::vector<uint8_t> Cel(int width, int height, const std::vector<std::array<uint8_t, 3>>& colours,
                         const std::vector<uint8_t>& pixels, int depth = 8, int compression = 0) {
  std::vector<uint8_t> f;
  Append(f, 0x9119, 2);
  Append(f, static_cast<uint32_t>(width), 2);
  Append(f, static_cast<uint32_t>(height), 2);
  Append(f, 0, 4);  // position
  f.push_back(static_cast<uint8_t>(depth));
  f.push_back(static_cast<uint8_t>(compression));
  Append(f, static_cast<uint32_t>(width * height), 4);
  f.resize(32, 0);
  for (size_t i = 0; i < 256; ++i)
    for (size_t c = 0; c < 3; ++c) f.push_back(i < colours.size() ? colours[i][c] : 0);
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

std::vector<uint8_t> Chunk(uint16_t type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> c;
  Append(c, static_cast<uint32_t>(data.size() + 6), 4);
  Append(c, type, 2);
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

// An Animator Pro cel: a flic header, a prefix chunk, and one frame of the given chunks.
std::vector<uint8_t> Flic(int width, int height, const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> f;
  Append(f, 0, 4);  // size, patched below
  Append(f, 0xAF12, 2);
  Append(f, 1, 2);
  Append(f, static_cast<uint32_t>(width), 2);
  Append(f, static_cast<uint32_t>(height), 2);
  Append(f, 8, 2);
  f.resize(128, 0);
  const std::vector<uint8_t> prefix = Chunk(0xF100, std::vector<uint8_t>(10, 0));
  for (int i = 0; i < 4; ++i) f[80 + i] = static_cast<uint8_t>((128 + prefix.size()) >> (8 * i));
  f.insert(f.end(), prefix.begin(), prefix.end());
  std::vector<uint8_t> frame;
  Append(frame, static_cast<uint32_t>(chunks.size()), 2);
  Append(frame, 0, 8);
  for (const auto& c : chunks) frame.insert(frame.end(), c.begin(), c.end());
  const auto frame_chunk = Chunk(0xF1FA, frame);
  f.insert(f.end(), frame_chunk.begin(), frame_chunk.end());
  for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(f.size() >> (8 * i));
  return f;
}

TEST(AutodeskTest, CelColoursAreWidenedFromSixBits) {
  const auto bitmap = Load(Cel(3, 2, {{0, 0, 0}, {63, 32, 1}, {10, 20, 30}}, {0, 1, 2, 2, 1, 0}));
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k8Bit);
  ASSERT_EQ(bitmap->Width(), 3);
  ASSERT_EQ(bitmap->Height(), 2);
  EXPECT_EQ(bitmap->Palette()[1], PaletteColor(255, 130, 4));
  EXPECT_EQ(bitmap->Palette()[2], PaletteColor(40, 81, 121));
  // Rows are stored top first.
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFFFF8204u);
  EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0xFF285179u);
}

TEST(AutodeskTest, ProCelFirstFrame) {
  // Colour packets: skip 1 entry, set 2 (8-bit levels); or, for 64-level colours, 6-bit levels.
  const auto colours256 = Chunk(4, {1, 0, 1, 2, 10, 20, 30, 40, 50, 60});
  const auto colours64 = Chunk(11, {1, 0, 1, 1, 63, 0, 0});
  // Byte runs per row of 4: a run of three 1s and a literal 2; a literal of four.
  const auto runs = Chunk(15, {2, 3, 1, 0xFF, 2, 1, 0xFC, 2, 1, 2, 1});
  const auto raw = Chunk(16, {1, 1, 2, 2, 2, 2, 1, 1});
  struct Case {
    const char* name;
    std::vector<std::vector<uint8_t>> chunks;
    uint32_t top_left, bottom_right;
  } cases[] = {
      {"colours and byte runs", {Chunk(18, {0, 0}), colours256, runs}, 0xFF0A141Eu, 0xFF0A141Eu},
      {"64-level colours and raw pixels", {colours64, raw}, 0xFFFF0000u, 0xFFFF0000u},
      {"black", {colours256, Chunk(13, {})}, 0xFF000000u, 0xFF000000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(Flic(4, 2, c.chunks));
    ASSERT_EQ(bitmap->Width(), 4);
    ASSERT_EQ(bitmap->Height(), 2);
    EXPECT_EQ(PixelAt(*bitmap, 0, 0), c.top_left);
    EXPECT_EQ(PixelAt(*bitmap, 3, 1), c.bottom_right);
  }
  const auto bitmap = Load(Flic(4, 2, {colours256, runs}));
  EXPECT_EQ(PixelAt(*bitmap, 3, 0), 0xFF28323Cu);
  EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0xFF28323Cu);
}

TEST(AutodeskTest, BadFilesFailWithTheirMessage) {
  const auto good = Cel(2, 1, {}, {0, 0});
  const auto good_flic = Flic(4, 1, {Chunk(16, {1, 2, 3, 4})});
  auto patched = [](std::vector<uint8_t> file, size_t at, uint8_t value) {
    file[at] = value;
    return file;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 20), kReadError},
      {"magic", patched(good, 0, 0x18), kInvalid},
      {"empty cel", Cel(0, 0, {}, {}), kInvalid},
      {"16 bits per pixel", Cel(2, 1, {}, {0, 0, 0, 0}, 16), kInvalid},
      {"compressed cel", Cel(2, 1, {}, {0, 0}, 8, 1), kInvalid},
      {"pixels end early", std::vector<uint8_t>(good.begin(), good.end() - 1), kReadError},
      {"flic of size 0 x 0", Flic(0, 0, {Chunk(13, {})}), kInvalid},
      {"flic frame cut short", std::vector<uint8_t>(good_flic.begin(), good_flic.end() - 1),
       kInvalid},
      {"flic without pixels", Flic(4, 1, {Chunk(4, {0, 0})}), kInvalid},
      {"flic of deltas only", Flic(4, 1, {Chunk(7, {0, 0})}), kInvalid},
      {"byte run past the row", Flic(4, 1, {Chunk(15, {1, 0xFB, 1, 2, 3, 4, 5})}), kInvalid},
      {"byte run of nothing", Flic(4, 1, {Chunk(15, {1, 0, 9})}), kInvalid},
      {"byte runs end early", Flic(4, 1, {Chunk(15, {1, 2, 7})}), kInvalid},
      {"raw pixels short", Flic(4, 2, {Chunk(16, {1, 2, 3, 4})}), kInvalid},
      {"colour packets past the chunk", Flic(4, 1, {Chunk(4, {1, 0, 0, 0, 1, 2}), Chunk(13, {})}),
       kInvalid},
  };
  ExpectFailedLoadsLeaveNothing<AutodeskGraphic>(good, cases);
}

TEST(AutodeskTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("autodesk", Load, {kReadError, kInvalid});
  // No other decoder reads these: check what the files themselves say. The crosshair cel's
  // first row starts with colour 0, and its table's entry 1 is (8, 8, 8) in 6-bit levels.
  const auto cel = Load(ReadBytes(SharedPath("testimages/autodesk/CRSHAIR.CEL")));
  EXPECT_EQ(cel->Palette()[1], PaletteColor(32, 32, 32));
  const auto pro = Load(ReadBytes(SharedPath("testimages/autodesk/pro_LOGO.CEL")));
  EXPECT_EQ(pro->Width(), 84);
  EXPECT_EQ(pro->Height(), 88);
}

TEST(AutodeskTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("autodesk", Load, {kReadError, kInvalid});
}

}  // namespace
}  // namespace tessane::test
