#include "formats/psd/psd_graphic.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected PSD or PDD image format.";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<PsdGraphic>(bytes);
}

void Append(std::vector<uint8_t>& b, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct PsdFields {
  int version = 1;
  int channels = 3;
  uint32_t width = 2, height = 1;
  int depth = 8;
  int mode = 3;
  std::vector<uint8_t> mode_data;
  int layer_count = 0;  // 0: an empty layer section
  int compression = 0;
};

// A Photoshop file. `rows` are the stored rows of the merged image, channel by channel: raw
// bytes, or PackBits data when compression is 1 (the byte-count table is made here).
std::vector<uint8_t> Psd(const PsdFields& s, const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> f = {'8', 'B', 'P', 'S'};
  Append(f, s.version, 2);
  Append(f, 0, 6);
  Append(f, s.channels, 2);
  Append(f, s.height, 4);
  Append(f, s.width, 4);
  Append(f, s.depth, 2);
  Append(f, s.mode, 2);
  Append(f, s.mode_data.size(), 4);
  f.insert(f.end(), s.mode_data.begin(), s.mode_data.end());
  Append(f, 0, 4);  // no image resources
  const int length_bytes = s.version == 2 ? 8 : 4;
  if (s.layer_count == 0) {
    Append(f, 0, length_bytes);
  } else {
    Append(f, length_bytes + 2, length_bytes);
    Append(f, 2, length_bytes);
    Append(f, static_cast<uint16_t>(static_cast<int16_t>(s.layer_count)), 2);
  }
  Append(f, s.compression, 2);
  if (s.compression == 1)
    for (const auto& row : rows) Append(f, row.size(), s.version == 2 ? 4 : 2);
  for (const auto& row : rows) f.insert(f.end(), row.begin(), row.end());
  return f;
}

std::vector<uint8_t> Palette768(const std::vector<std::array<uint8_t, 3>>& entries) {
  std::vector<uint8_t> table(768, 0);
  for (size_t i = 0; i < entries.size(); ++i)
    for (size_t c = 0; c < 3; ++c) table[c * 256 + i] = entries[i][c];
  return table;
}

TEST(PsdTest, ColourModesGiveTheirColours) {
  struct Case {
    const char* name;
    PsdFields fields;
    std::vector<std::vector<uint8_t>> rows;
    DibFormat format;
    uint32_t left, right;
    int tolerance = 0;
  } cases[] = {
      {"bitmap: set bits are black",
       {.channels = 1, .depth = 1, .mode = 0},
       {{0x80}},
       DibFormat::k1Bit,
       0xFF000000u,
       0xFFFFFFFFu},
      {"grey",
       {.channels = 1, .mode = 1},
       {{0, 200}},
       DibFormat::k8Bit,
       0xFF000000u,
       0xFFC8C8C8u},
      {"grey 16-bit",
       {.channels = 1, .depth = 16, .mode = 1},
       {{0xFF, 0xFF, 0x80, 0x80}},
       DibFormat::k8Bit,
       0xFFFFFFFFu,
       0xFF808080u},
      {"duotone shows its grey channel",
       {.channels = 1, .mode = 8},
       {{10, 250}},
       DibFormat::k8Bit,
       0xFF0A0A0Au,
       0xFFFAFAFAu},
      {"indexed",
       {.channels = 1, .mode = 2, .mode_data = Palette768({{0, 0, 0}, {10, 20, 30}, {40, 50, 60}})},
       {{1, 2}},
       DibFormat::k8Bit,
       0xFF0A141Eu,
       0xFF28323Cu},
      {"rgb", {}, {{255, 0}, {0, 128}, {0, 255}}, DibFormat::k24Bit, 0xFFFF0000u, 0xFF0080FFu},
      {"rgb 16-bit",
       {.depth = 16},
       {{0xFF, 0xFF, 0, 0}, {0, 0, 0x80, 0x80}, {0, 0, 0xFF, 0xFF}},
       DibFormat::k24Bit,
       0xFFFF0000u,
       0xFF0080FFu},
      // Stored inverted: 255 is no ink.
      {"cmyk",
       {.channels = 4, .mode = 4},
       {{255, 0}, {255, 255}, {255, 255}, {255, 128}},
       DibFormat::k24Bit,
       0xFFFFFFFFu,
       0xFF008080u},
      {"lab white and black",
       {.mode = 9},
       {{255, 0}, {128, 128}, {128, 128}},
       DibFormat::k24Bit,
       0xFFFFFFFFu,
       0xFF000000u,
       1},
      // sRGB red and blue as D50 L*a*b*: (54.3, 80.8, 69.9) and (29.6, 68.3, -112.0).
      {"lab red and blue",
       {.mode = 9},
       {{138, 75}, {209, 196}, {198, 16}},
       DibFormat::k24Bit,
       0xFFFF0000u,
       0xFF0000FFu,
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(Psd(c.fields, c.rows));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    for (const auto& [x, expected] : {std::pair{0, c.left}, std::pair{1, c.right}}) {
      const uint32_t got = PixelAt(*bitmap, x, 0);
      for (int shift = 0; shift < 32; shift += 8)
        EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF),
                    static_cast<int>((expected >> shift) & 0xFF), c.tolerance)
            << std::hex << "pixel " << x << ": 0x" << got << " vs 0x" << expected;
    }
  }
}

TEST(PsdTest, ExtraChannelIsAlphaOnlyWhenTheLayerCountSaysSo) {
  // A negative layer count marks the first extra channel as the merged transparency; otherwise
  // it is a saved selection and the picture stays opaque.
  const std::vector<std::vector<uint8_t>> rgba = {{255, 0}, {0, 0}, {0, 255}, {64, 255}};
  const auto with_alpha = Load(Psd({.channels = 4, .layer_count = -1}, rgba));
  EXPECT_EQ(with_alpha->PixelFormat(), DibFormat::k32Bit);
  EXPECT_EQ(PixelAt(*with_alpha, 0, 0), 0x40FF0000u);
  EXPECT_EQ(PixelAt(*with_alpha, 1, 0), 0xFF0000FFu);

  const auto selection = Load(Psd({.channels = 4, .layer_count = 2}, rgba));
  EXPECT_EQ(selection->PixelFormat(), DibFormat::k24Bit);
  EXPECT_EQ(PixelAt(*selection, 0, 0), 0xFFFF0000u);

  const auto grey = Load(Psd({.channels = 2, .mode = 1, .layer_count = -1}, {{9, 8}, {0, 128}}));
  EXPECT_EQ(PixelAt(*grey, 0, 0), 0x00090909u);
  EXPECT_EQ(PixelAt(*grey, 1, 0), 0x80080808u);
}

TEST(PsdTest, PackBitsRowsInBothFileVersions) {
  // Grey 4 x 2: row 0 a run of four 7s (0xFD), row 1 a literal of 1, 2 then a run of two 9s.
  const std::vector<std::vector<uint8_t>> rows = {{0xFD, 7}, {0x01, 1, 2, 0xFF, 9}};
  for (const int version : {1, 2}) {
    SCOPED_TRACE(version);
    const auto bitmap = Load(Psd(
        {.version = version, .channels = 1, .width = 4, .height = 2, .mode = 1, .compression = 1},
        rows));
    EXPECT_EQ(PixelAt(*bitmap, 3, 0), 0xFF070707u);
    EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0xFF010101u);
    EXPECT_EQ(PixelAt(*bitmap, 1, 1), 0xFF020202u);
    EXPECT_EQ(PixelAt(*bitmap, 3, 1), 0xFF090909u);
  }
}

TEST(PsdTest, BadFilesFailWithTheirMessage) {
  const PsdFields grey{.channels = 1, .mode = 1};
  const auto good = Psd(grey, {{1, 2}});
  auto patched = [&](size_t at, uint8_t value) {
    auto file = good;
    file[at] = value;
    return file;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 20), kReadError},
      {"signature", patched(0, 'X'), kInvalid},
      {"version 3", patched(5, 3), kInvalid},
      {"no channels", patched(13, 0), kInvalid},
      {"zero width", Psd({.channels = 1, .width = 0, .mode = 1}, {}), kInvalid},
      {"beyond the size limit", Psd({.channels = 1, .width = 70000, .mode = 1}, {}), kInvalid},
      {"32-bit samples", Psd({.channels = 1, .depth = 32, .mode = 1}, {}), kInvalid},
      {"1-bit grey", Psd({.channels = 1, .depth = 1, .mode = 1}, {{0}}), kInvalid},
      {"multichannel", Psd({.channels = 1, .mode = 7}, {{1, 2}}), kInvalid},
      {"rgb with one channel", Psd({.channels = 1}, {{1, 2}}), kInvalid},
      {"indexed without its colour table", Psd({.channels = 1, .mode = 2}, {{1, 2}}), kInvalid},
      {"zip compression", Psd({.channels = 1, .mode = 1, .compression = 2}, {{1, 2}}), kInvalid},
      {"raw pixels end early", std::vector<uint8_t>(good.begin(), good.end() - 1), kReadError},
      {"section length past the end", patched(26 + 3, 0x40), kInvalid},
      {"row unpacks short",
       Psd({.channels = 1, .width = 4, .mode = 1, .compression = 1}, {{0x01, 1, 2}}), kInvalid},
      // 65535 x 2 pixels from rows of 2 bytes: refused before the picture is allocated.
      {"rows too short to fill",
       Psd({.channels = 1, .width = 65535, .height = 2, .mode = 1, .compression = 1},
           {{0x81, 0}, {0x81, 0}}),
       kInvalid},
      {"row counts past the end",
       [] {
         auto f = Psd({.channels = 1, .width = 4, .mode = 1, .compression = 1}, {{0xFD, 7}});
         f.pop_back();
         return f;
       }(),
       kInvalid},
  };
  ExpectFailedLoadsLeaveNothing<PsdGraphic>(good, cases);
}

TEST(PsdTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("psd", Load, {kReadError, kInvalid});
}

TEST(PsdTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("psd", Load, {kReadError, kInvalid});
}

TEST(PsdTest, FilesWrittenByImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  // A 7 x 5 picture with alpha, written as PAM (with alpha), PPM and PGM.
  const int w = 7, h = 5;
  std::vector<uint8_t> rgba;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (const int v : {x * 36, y * 60, x * y * 13, 255 - x * 30 - y * 7})
        rgba.push_back(static_cast<uint8_t>(v));
  auto header = [&](const std::string& magic) {
    const std::string text = magic + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    return std::vector<uint8_t>(text.begin(), text.end());
  };
  std::vector<uint8_t> ppm = header("P6"), pgm = header("P5");
  const std::string pam_text =
      "P7\nWIDTH 7\nHEIGHT 5\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> pam(pam_text.begin(), pam_text.end());
  for (size_t i = 0; i < rgba.size(); i += 4) {
    ppm.insert(ppm.end(), rgba.begin() + static_cast<ptrdiff_t>(i),
               rgba.begin() + static_cast<ptrdiff_t>(i + 3));
    pgm.push_back(rgba[i]);
    pam.insert(pam.end(), rgba.begin() + static_cast<ptrdiff_t>(i),
               rgba.begin() + static_cast<ptrdiff_t>(i + 4));
  }
  WriteBytes(dir.File("in.ppm"), ppm);
  WriteBytes(dir.File("in.pgm"), pgm);
  WriteBytes(dir.File("in.pam"), pam);

  for (const char* compression : {"RLE", "None"}) {
    for (const char* input : {"in.ppm", "in.pgm", "in.pam"}) {
      SCOPED_TRACE(std::string(input) + " " + compression);
      const std::string out = dir.File("out.psd");
      ASSERT_TRUE(RunQuietly("convert '" + dir.File(input) + "' -compress " + compression + " '" +
                             out + "'"));
      const auto bitmap = Load(ReadBytes(out));
      ASSERT_EQ(bitmap->Width(), w);
      ASSERT_EQ(bitmap->Height(), h);
      const bool grey = std::string(input) == "in.pgm";
      const bool alpha = std::string(input) == "in.pam";
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint8_t* p = rgba.data() + 4 * (y * w + x);
          const uint32_t r = p[0], g = grey ? p[0] : p[1], b = grey ? p[0] : p[2];
          const uint32_t a = alpha ? p[3] : 255;
          EXPECT_EQ(PixelAt(*bitmap, x, y), (a << 24) | (r << 16) | (g << 8) | b)
              << "at " << x << ", " << y;
        }
    }
  }
}

}  // namespace
}  // namespace tessane::test
