#include "formats/rla/rla_graphic.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "formats/reference_pixels.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected RLA image format.";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<RlaGraphic>(bytes);
}

void Append16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

void Append32(std::vector<uint8_t>& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

// Literal packets only (at most 128 bytes each).
std::vector<uint8_t> Literal(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < bytes.size(); i += 128) {
    const size_t n = std::min<size_t>(128, bytes.size() - i);
    out.push_back(static_cast<uint8_t>(-static_cast<int>(n)));
    out.insert(out.end(), bytes.begin() + static_cast<ptrdiff_t>(i),
               bytes.begin() + static_cast<ptrdiff_t>(i + n));
  }
  return out;
}

struct RlaFields {
  int width = 2, height = 2, colours = 3, mattes = 0, colour_bits = 8, matte_bits = 8;
};

// An RLA file. rows[r][c] is the packed data of channel c of stored scanline r (bottom first).
std::vector<uint8_t> Rla(const RlaFields& s,
                         const std::vector<std::vector<std::vector<uint8_t>>>& rows) {
  std::vector<uint8_t> file(740, 0);
  StoreBe16(&file[0], 0);
  StoreBe16(&file[2], s.width - 1);
  StoreBe16(&file[4], 0);
  StoreBe16(&file[6], s.height - 1);
  StoreBe16(&file[8], 0);
  StoreBe16(&file[10], s.width - 1);
  StoreBe16(&file[12], 0);
  StoreBe16(&file[14], s.height - 1);
  StoreBe16(&file[20], s.colours);
  StoreBe16(&file[22], s.mattes);
  StoreBe16(&file[26], 0xFFFE);
  StoreBe16(&file[658], s.colour_bits);
  StoreBe16(&file[662], s.matte_bits);
  std::vector<uint8_t> data;
  std::vector<uint32_t> offsets;
  const uint32_t base = 740 + 4 * static_cast<uint32_t>(rows.size());
  for (const auto& row : rows) {
    offsets.push_back(base + static_cast<uint32_t>(data.size()));
    for (const auto& channel : row) {
      Append16(data, static_cast<unsigned>(channel.size()));
      data.insert(data.end(), channel.begin(), channel.end());
    }
  }
  for (const uint32_t o : offsets) Append32(file, o);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

TEST(RlaTest, ScanlinesAreStoredBottomUp) {
  // Stored first: the bottom row (red, blue); then the top row (green, white).
  const auto file = Rla({}, {{Literal({255, 0}), Literal({0, 0}), Literal({0, 255})},
                             {Literal({0, 255}), Literal({255, 255}), Literal({0, 255})}});
  const auto bitmap = Load(file);
  EXPECT_EQ(bitmap->PixelFormat(), DibFormat::k24Bit);
  EXPECT_EQ(PixelAt(*bitmap, 0, 1), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 1), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFFFFFFFFu);
}

TEST(RlaTest, ChannelLayoutsAndSampleWidths) {
  // 16-bit samples are two byte planes, the high bytes first.
  const std::vector<uint8_t> wide = Literal({0xFF, 0x80, 0xFF, 0x80});  // 0xFFFF, 0x8080
  const std::vector<uint8_t> ten = Literal({0x03, 0x02, 0xFF, 0x00});   // 1023, 512
  struct Case {
    const char* name;
    RlaFields fields;
    std::vector<std::vector<uint8_t>> channels;
    DibFormat format;
    uint32_t left, right;
  } cases[] = {
      {"grey",
       {.width = 2, .height = 1, .colours = 1},
       {Literal({0, 200})},
       DibFormat::k8Bit,
       0xFF000000u,
       0xFFC8C8C8u},
      {"grey and matte",
       {.width = 2, .height = 1, .colours = 1, .mattes = 1},
       {Literal({10, 20}), Literal({255, 0})},
       DibFormat::k32Bit,
       0xFF0A0A0Au,
       0x00141414u},
      {"rgb and matte",
       {.width = 2, .height = 1, .colours = 3, .mattes = 1},
       {Literal({1, 2}), Literal({3, 4}), Literal({5, 6}), Literal({128, 64})},
       DibFormat::k32Bit,
       0x80010305u,
       0x40020406u},
      {"16-bit",
       {.width = 2, .height = 1, .colours = 3, .colour_bits = 16},
       {wide, wide, wide},
       DibFormat::k24Bit,
       0xFFFFFFFFu,
       0xFF808080u},
      {"10-bit with 10-bit matte",
       {.width = 2, .height = 1, .colours = 3, .mattes = 1, .colour_bits = 10, .matte_bits = 10},
       {ten, ten, ten, ten},
       DibFormat::k32Bit,
       0xFFFFFFFFu,
       0x80808080u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(Rla(c.fields, {c.channels}));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    EXPECT_EQ(PixelAt(*bitmap, 0, 0), c.left);
    EXPECT_EQ(PixelAt(*bitmap, 1, 0), c.right);
  }
}

TEST(RlaTest, RunsRepeatAndNeverLeaveTheRow) {
  // Count 1 repeats twice; a run of 100 in a row of 3 is cut at the row's end.
  const auto bitmap = Load(Rla({.width = 3, .height = 1, .colours = 1}, {{{1, 7, 0x7F, 9}}}));
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF070707u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFF070707u);
  EXPECT_EQ(PixelAt(*bitmap, 2, 0), 0xFF090909u);
}

TEST(RlaTest, BadFilesFailWithTheirMessage) {
  const auto good = Rla({.width = 2, .height = 1, .colours = 1}, {{Literal({1, 2})}});
  auto with = [&](size_t at, int value) {
    auto file = good;
    StoreBe16(&file[at], value);
    return file;
  };
  auto offset = [&](uint32_t value) {
    auto file = good;
    for (int i = 0; i < 4; ++i) file[740 + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    return file;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 700), kReadError},
      {"right before left", with(10, 0xFFF0), kInvalid},
      {"no colour channel", with(20, 0), kInvalid},
      {"float samples", with(658, 32), kInvalid},
      {"scanline table past the end", with(14, 5000), kInvalid},
      {"scanline offset past the end", offset(100000), kInvalid},
      {"scanline offset into the header", offset(12), kInvalid},
      {"run data end early", Rla({.width = 4, .height = 1, .colours = 1}, {{{0xFE, 1, 2}}}),
       kInvalid},
      // 60000 x 2 samples cannot come from 6 bytes of runs.
      {"huge picture from a tiny file",
       Rla({.width = 60000, .height = 2, .colours = 1}, {{{0x7F, 1}}, {{0x7F, 1}}}), kInvalid},
      {"channel length past the end", std::vector<uint8_t>(good.begin(), good.end() - 1), kInvalid},
  };
  ExpectFailedLoadsLeaveNothing<RlaGraphic>(good, cases);
}

TEST(RlaTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("rla", Load, {kReadError, kInvalid});
}

TEST(RlaTest, WideSamplesMatchTheirEightBitTwins) {
  REQUIRE_SHARED_SAMPLES();
  // The same picture stored at 8 and at 10 or 16 bits: narrowed, they agree within rounding.
  const std::pair<const char*, const char*> twins[] = {
      {"rla/oiio_ginsu_rgb_nc16.rla", "rla/oiio_ginsu_rgb_nc8.rla"},
      {"rla/oiio_ginsu_rgba_nc10.rla", "rla/oiio_ginsu_rgba_nc8.rla"},
  };
  for (const auto& [wide, narrow] : twins) {
    SCOPED_TRACE(wide);
    const auto a = Load(ReadBytes(SharedPath(std::string("testimages/") + wide)));
    const auto b = Load(ReadBytes(SharedPath(std::string("testimages/") + narrow)));
    EXPECT_LE(Compare(FromBitmap(*a), FromBitmap(*b), true).max, 1);
  }
}

TEST(RlaTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("rla", Load, {kReadError, kInvalid});
}

}  // namespace
}  // namespace tessane::test
