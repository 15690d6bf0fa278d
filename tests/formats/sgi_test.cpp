#include "formats/sgi/sgi_graphic.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid =
    "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.";

struct SgiHeader {
  uint16_t magic = 474;
  uint8_t storage = 0, bpc = 1;
  uint16_t dimension = 3, width = 1, height = 1, channels = 3;
};

std::vector<uint8_t> Header(const SgiHeader& h) {
  std::vector<uint8_t> file(512, 0);
  StoreBe16(&file[0], h.magic);
  file[2] = h.storage;
  file[3] = h.bpc;
  StoreBe16(&file[4], h.dimension);
  StoreBe16(&file[6], h.width);
  StoreBe16(&file[8], h.height);
  StoreBe16(&file[10], h.channels);
  return file;
}

// A plain file: the header, then the given bytes (channel by channel, bottom row first).
std::vector<uint8_t> Plain(const SgiHeader& h, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> file = Header(h);
  for (const uint8_t b : data) file.push_back(b);
  return file;
}

// A run-length file: one packed byte sequence per row (channel by channel, bottom row first),
// stored one after another behind the offset and length tables.
std::vector<uint8_t> Rle(SgiHeader h, const std::vector<std::vector<uint8_t>>& rows) {
  h.storage = 1;
  std::vector<uint8_t> file = Header(h);
  file.resize(512 + 8 * rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    StoreBe32(&file[512 + 4 * i], static_cast<uint32_t>(file.size()));
    StoreBe32(&file[512 + 4 * (rows.size() + i)], static_cast<uint32_t>(rows[i].size()));
    for (const uint8_t b : rows[i]) file.push_back(b);
  }
  return file;
}

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<SgiGraphic>(bytes);
}

TEST(SgiTest, PlainChannelsAndRowOrder) {
  // 2 x 2 RGB: red plane, green plane, blue plane; each bottom row first.
  const auto rgb =
      Load(Plain({.width = 2, .height = 2}, {1, 2, 3, 4, 11, 12, 13, 14, 21, 22, 23, 24}));
  EXPECT_EQ(rgb->PixelFormat(), DibFormat::k24Bit);
  EXPECT_EQ(PixelAt(*rgb, 0, 1), 0xFF010B15u);  // first stored row is the bottom one
  EXPECT_EQ(PixelAt(*rgb, 1, 1), 0xFF020C16u);
  EXPECT_EQ(PixelAt(*rgb, 0, 0), 0xFF030D17u);

  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DibFormat format;
    uint32_t pixel;
  };
  const Case cases[] = {
      {"grey", Plain({.channels = 1}, {77}), DibFormat::k8Bit, 0xFF4D4D4Du},
      {"grey and alpha", Plain({.channels = 2}, {77, 128}), DibFormat::k32Bit, 0x804D4D4Du},
      {"red, green, blue and alpha", Plain({.channels = 4}, {1, 2, 3, 4}), DibFormat::k32Bit,
       0x04010203u},
      {"dimension 2 has one channel whatever z says", Plain({.dimension = 2, .channels = 3}, {9}),
       DibFormat::k8Bit, 0xFF090909u},
      {"16-bit samples scale to 8 bits", Plain({.bpc = 2}, {0x80, 0x80, 0xFF, 0xFF, 0x01, 0x01}),
       DibFormat::k24Bit, 0xFF80FF01u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(c.file);
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    EXPECT_EQ(PixelAt(*bitmap, 0, 0), c.pixel);
  }
  // Dimension 1 is a single row, whatever the height says.
  EXPECT_EQ(Load(Plain({.dimension = 1, .width = 2, .height = 7, .channels = 1}, {1, 2}))->Height(),
            1);
}

TEST(SgiTest, RunLengthRows) {
  // Grey 5 x 2: a run of 3 then 2 literal values; the top row repeats the bottom row's data.
  const auto grey =
      Load(Rle({.width = 5, .height = 2, .channels = 1}, {{0x03, 7, 0x82, 8, 9, 0}, {0x05, 6, 0}}));
  const uint32_t bottom[5] = {0xFF070707u, 0xFF070707u, 0xFF070707u, 0xFF080808u, 0xFF090909u};
  for (int32_t x = 0; x < 5; ++x) {
    EXPECT_EQ(PixelAt(*grey, x, 1), bottom[x]) << x;
    EXPECT_EQ(PixelAt(*grey, x, 0), 0xFF060606u) << x;
  }
  // 16-bit rows count in 16-bit units.
  const auto deep = Load(Rle({.bpc = 2, .width = 3, .channels = 1},
                             {{0x00, 0x02, 0xFF, 0xFF, 0x00, 0x81, 0x80, 0x80, 0, 0}}));
  EXPECT_EQ(PixelAt(*deep, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(*deep, 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(*deep, 2, 0), 0xFF808080u);
  // Rows may share their data.
  std::vector<uint8_t> shared = Rle({.width = 2, .height = 2, .channels = 1}, {{0x02, 5, 0}, {}});
  StoreBe32(&shared[512 + 4], 512 + 16);
  StoreBe32(&shared[512 + 12], 3);
  EXPECT_EQ(PixelAt(*Load(shared), 1, 0), 0xFF050505u);
}

TEST(SgiTest, BadFilesFailWithTheirMessage) {
  std::vector<uint8_t> offset_outside = Rle({.width = 2, .channels = 1}, {{0x02, 5, 0}});
  StoreBe32(&offset_outside[512], 600);
  std::vector<uint8_t> length_outside = Rle({.width = 2, .channels = 1}, {{0x02, 5, 0}});
  StoreBe32(&length_outside[516], 4);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  const Case cases[] = {
      {"header shorter than 512 bytes", std::vector<uint8_t>(511, 0), kReadError},
      {"wrong magic number", Plain({.magic = 475}, {1, 2, 3}), kInvalid},
      {"3 bytes per channel", Plain({.bpc = 3}, std::vector<uint8_t>(9, 0)), kInvalid},
      {"storage code 2", Plain({.storage = 2}, {1, 2, 3}), kInvalid},
      {"dimension 4", Plain({.dimension = 4}, {1, 2, 3}), kInvalid},
      {"5 channels", Plain({.channels = 5}, std::vector<uint8_t>(5, 0)), kInvalid},
      {"no channels", Plain({.channels = 0}, {}), kInvalid},
      {"width 0", Plain({.width = 0}, {}), kInvalid},
      {"plain data cut short", Plain({.width = 2, .height = 2}, std::vector<uint8_t>(11, 0)),
       kReadError},
      {"offset tables cut short",
       Plain({.storage = 1, .height = 2, .channels = 1}, std::vector<uint8_t>(15, 0)), kReadError},
      {"row offset outside the file", offset_outside, kInvalid},
      {"row length past the end of the file", length_outside, kInvalid},
      {"offset into the header",
       [] {
         auto f = Rle({.width = 2, .channels = 1}, {{0x02, 5, 0}});
         StoreBe32(&f[512], 10);
         return f;
       }(),
       kInvalid},
      {"run longer than the row", Rle({.width = 2, .channels = 1}, {{0x03, 5, 0}}), kInvalid},
      {"literal packet longer than the row", Rle({.width = 2, .channels = 1}, {{0x83, 5, 6, 7, 0}}),
       kInvalid},
      {"row ends before its pixels", Rle({.width = 4, .channels = 1}, {{0x02, 5, 0}}), kInvalid},
      {"row data stop inside a packet", Rle({.width = 4, .channels = 1}, {{0x84, 5, 6}}), kInvalid},
      {"65535 x 65535 pixels", Plain({.width = 65535, .height = 65535, .channels = 1}, {}),
       kInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<SgiGraphic>(c.file), c.message);
  }
}

TEST(SgiTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("sgi", Load, {kReadError, kInvalid});
}

TEST(SgiTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("sgi", Load, {kReadError, kInvalid});
}

TEST(SgiTest, FilesWrittenByOtherPrograms) {
  EXPECT_EQ(CheckFilesWithDecodes("sgi", Load, 0), 7);
}

}  // namespace
}  // namespace tessane::test
