#include "formats/halo_cut/halo_cut_graphic.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "formats/picture.h"
#include "formats/reference_pixels.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected CUT image format.";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<HaloCutGraphic>(bytes);
}

void Append16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// A Dr. Halo image: width, height, a reserved word, then each row's packed bytes after its length.
std::vector<uint8_t> Cut(int width, int height, const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> f;
  Append16(f, static_cast<unsigned>(width));
  Append16(f, static_cast<unsigned>(height));
  Append16(f, 0);
  for (const auto& row : rows) {
    Append16(f, static_cast<unsigned>(row.size()));
    f.insert(f.end(), row.begin(), row.end());
  }
  return f;
}

// A Dr. Halo palette: the 40-byte header, then red, green, blue words per entry; an entry never
// crosses a 512-byte block.
std::vector<uint8_t> Pal(const std::vector<std::array<unsigned, 3>>& entries, unsigned max_level) {
  std::vector<uint8_t> f = {'A', 'H'};
  Append16(f, 0xE3);
  Append16(f, 0);
  f.push_back(0x0A);
  f.push_back(0);
  Append16(f, 0);
  Append16(f, 0);
  Append16(f, static_cast<unsigned>(entries.size() - 1));
  for (int i = 0; i < 3; ++i) Append16(f, max_level);
  const char id[20] = "Dr. Halo";
  f.insert(f.end(), id, id + 20);
  for (const auto& e : entries) {
    if (f.size() % 512 + 6 > 512) f.resize(f.size() + 512 - f.size() % 512, 0);
    for (const unsigned level : e) Append16(f, level);
  }
  return f;
}

// 256 entries of 6-bit levels, each different.
std::vector<std::array<unsigned, 3>> Levels() {
  std::vector<std::array<unsigned, 3>> entries;
  for (unsigned i = 0; i < 256; ++i) entries.push_back({i % 64, (i * 3) % 64, 63 - i % 64});
  return entries;
}

// Rows of a 5 x 3 picture: a run and a literal; a literal ended early by its zero byte; a run of
// 100 that the row cuts at its width.
const std::vector<std::vector<uint8_t>> kRows = {
    {0x83, 1, 0x02, 2, 3, 0}, {0x02, 4, 5, 0}, {0xE4, 200, 0}};

TEST(CutTest, RunLengthRows) {
  const auto bitmap = Load(Cut(5, 3, kRows));
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k8Bit);
  const uint8_t expected[3][5] = {{1, 1, 1, 2, 3}, {4, 5, 0, 0, 0}, {200, 200, 200, 200, 200}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap->ScanLine(y)[x], expected[y][x]) << x << ", " << y;
  // From a stream alone the colours are the grey ramp.
  ASSERT_EQ(bitmap->Palette().size(), 256u);
  EXPECT_EQ(bitmap->Palette()[200], PaletteColor(200, 200, 200));
}

TEST(CutTest, ColoursComeFromTheCompanionPalette) {
  TempDir dir;
  const auto image = Cut(5, 3, kRows);
  const auto good = Pal(Levels(), 63);
  auto bad_signature = good;
  bad_signature[0] = 'X';
  auto no_levels = good;
  no_levels[14] = no_levels[15] = 0;
  struct Case {
    const char* name;
    const char* image;
    const char* palette;  // nullptr: none
    std::vector<uint8_t> palette_bytes;
    bool coloured;
  } cases[] = {
      {"palette beside the image", "a.cut", "a.pal", good, true},
      {"name without extension", "b", "b.pal", good, true},
      {"dots in the folder only", "c.d/e", "c.d/e.pal", good, true},
      {"no palette", "f.cut", nullptr, {}, false},
      {"not a palette", "g.cut", "g.pal", bad_signature, false},
      {"palette with zero maxima", "h.cut", "h.pal", no_levels, false},
      {"palette cut short", "i.cut", "i.pal", std::vector<uint8_t>(good.begin(), good.end() - 3),
       false},
  };
  std::filesystem::create_directories(dir.File("c.d"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.File(c.image), image);
    if (c.palette) WriteBytes(dir.File(c.palette), c.palette_bytes);
    HaloCutGraphic graphic;
    graphic.LoadFromFile(dir.File(c.image));
    ASSERT_EQ(graphic.Palette().size(), 256u);
    if (c.coloured) {
      // 6-bit levels widened; entry 200 lies past the padding at the first block's end.
      EXPECT_EQ(graphic.Palette()[1], PaletteColor(4, 12, 251));
      EXPECT_EQ(graphic.Palette()[200], PaletteColor(32, 97, 223));
      EXPECT_EQ(PixelAt(graphic, 0, 2), 0xFF2061DFu);
    } else {
      EXPECT_EQ(graphic.Palette()[200], PaletteColor(200, 200, 200));
    }
    // The palette belongs to that one file load: a stream load afterwards is grey again.
    ReadOnlyMemoryStream stream(image.data(), image.size());
    graphic.LoadFromStream(stream);
    EXPECT_EQ(graphic.Palette()[200], PaletteColor(200, 200, 200));
  }
}

TEST(CutTest, PictureLoadsTheFileWithItsPalette) {
  // Through the registry: the picture hands the path to the graphic, which finds the palette.
  TempDir dir;
  WriteBytes(dir.File("p.cut"), Cut(5, 3, kRows));
  WriteBytes(dir.File("p.pal"), Pal(Levels(), 63));
  Picture picture;
  picture.LoadPicture(dir.File("p.cut"));
  ASSERT_NE(dynamic_cast<const HaloCutGraphic*>(picture.graphic()), nullptr);
  EXPECT_EQ(PixelAt(picture.EnsureBitmap(), 0, 2), 0xFF2061DFu);
}

TEST(CutTest, PalettePath) {
  EXPECT_EQ(CutPalettePath("/x/pic.cut"), "/x/pic.pal");
  EXPECT_EQ(CutPalettePath("/x/pic.tar.CUT"), "/x/pic.tar.pal");
  EXPECT_EQ(CutPalettePath("/x.y/pic"), "/x.y/pic.pal");
  EXPECT_EQ(CutPalettePath("pic."), "pic.pal");
}

TEST(CutTest, BadFilesFailWithTheirMessage) {
  const auto good = Cut(5, 3, kRows);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"header cut short", {5, 0, 3}, kReadError},
      {"zero width", Cut(0, 3, kRows), kInvalid},
      {"fewer rows than the height", Cut(5, 4, kRows), kInvalid},
      {"row length past the end", std::vector<uint8_t>(good.begin(), good.end() - 1), kInvalid},
      {"literal past the row's data", Cut(5, 1, {{0x05, 1, 2}}), kInvalid},
      {"run without its value", Cut(5, 1, {{0x85}}), kInvalid},
      {"row without its end", Cut(5, 1, {{0x02, 1, 2}}), kInvalid},
      // Far more pixels than the runs of a 30-byte file could make.
      {"huge picture from a tiny file", Cut(65535, 10, std::vector<std::vector<uint8_t>>(10, {0})),
       kInvalid},
  };
  ExpectFailedLoadsLeaveNothing<HaloCutGraphic>(good, cases);
}

TEST(CutTest, DamagedFilesFailCleanly) {
  // A larger picture, cut everywhere and with every byte flipped in turn.
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 6; ++y) rows.push_back({0x84, static_cast<uint8_t>(y), 0x04, 1, 2, 3, 4, 0});
  const auto file = Cut(8, 6, rows);
  for (size_t cut = 0; cut < file.size(); ++cut) {
    const std::string error =
        LoadError<HaloCutGraphic>({file.begin(), file.begin() + static_cast<ptrdiff_t>(cut)});
    EXPECT_TRUE(error == kInvalid || error == kReadError) << cut << ": " << error;
  }
  for (size_t at = 0; at < file.size(); ++at) {
    auto damaged = file;
    damaged[at] ^= 0xFF;
    const std::string error = LoadError<HaloCutGraphic>(damaged);
    EXPECT_TRUE(error.empty() || error == kInvalid) << at << ": " << error;
  }
}

TEST(CutTest, AgreesWithImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  // Every colour of the palette once: 16 x 16 rows of literals.
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 16; ++y) {
    std::vector<uint8_t> row = {16};
    for (int x = 0; x < 16; ++x) row.push_back(static_cast<uint8_t>(16 * y + x));
    row.push_back(0);
    rows.push_back(row);
  }
  WriteBytes(dir.File("all.cut"), Cut(16, 16, rows));
  WriteBytes(dir.File("all.pal"), Pal(Levels(), 63));
  ASSERT_TRUE(RunQuietly("convert '" + dir.File("all.cut") + "' '" + dir.File("all.png") + "'"));
  HaloCutGraphic graphic;
  graphic.LoadFromFile(dir.File("all.cut"));
  // ImageMagick widens 6-bit levels by a slightly different rule.
  EXPECT_TRUE(MatchesReference(graphic, dir.File("all.png"), 1));
}

}  // namespace
}  // namespace tessane::test
