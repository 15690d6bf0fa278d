// What each reader records of a picture while it loads: orientation (and whether it applied it),
// EXIF, XMP, ICC profile, capture date, colour model and the scales it decodes at.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/stream.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"
#include "formats/picture.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::DataPath;

struct Expected {
  const char* file;  // under tests/data
  int orientation;
  bool applied;
  bool exif;
  bool xmp;
  size_t icc_bytes;  // 0: none
  const char* date;  // "" when none
  ColourModel colour;
  size_t scales;
};

std::string DateText(const std::optional<std::tm>& date) {
  if (!date) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &*date);
  return text;
}

TEST(PictureFacts, EveryReaderRecordsWhatItsFileSays) {
  RegisterCommandLineFormats();
  const size_t p3 = test::ReadBytes(DataPath("colour/display_p3.icc")).size();
  const size_t cmyk = test::ReadBytes(DataPath("colour/test_cmyk.icc")).size();
  const char* date = "2021-07-14 09:30:05";
  const Expected cases[] = {
      {"phone/phone.jpg", 1, false, true, false, p3, date, ColourModel::kRgb, 4},
      {"phone/phone.heic", 1, true, true, false, p3, date, ColourModel::kRgb, 1},
      {"phone/phone.avif", 1, true, true, false, p3, date, ColourModel::kRgb, 1},
      {"phone/phone.jxl", 1, true, true, false, p3, date, ColourModel::kRgb, 1},
      {"phone/phone.webp", 1, false, true, true, p3, date, ColourModel::kRgb, 1},
      // A rotation box and EXIF orientation 6: libheif turns it, the tag only describes it.
      {"heif/rotated.heic", 6, true, true, false, 0, "", ColourModel::kRgb, 1},
      {"jxl/rotated.jxl", 6, true, true, false, 0, "", ColourModel::kRgb, 1},
      {"webp/exif_o6.webp", 6, false, true, false, 0, "", ColourModel::kRgb, 1},
      {"webp/lossy.webp", 0, false, false, false, 0, "", ColourModel::kRgb, 1},
      {"jxl/lossy.jxl", 0, true, false, false, 0, "", ColourModel::kRgb, 1},
      {"colour/p3_ramp.png", 0, false, false, false, p3, "", ColourModel::kRgb, 1},
      {"colour/p3_ramp.tif", 1, false, false, false, p3, "", ColourModel::kRgb, 1},
      {"colour/p3_ramp.jpg", 0, false, false, false, p3, "", ColourModel::kRgb, 4},
      {"colour/cmyk_adobe_profile.jpg", 0, false, false, false, cmyk, "", ColourModel::kCmyk, 4},
      {"colour/cmyk_ycck_profile.jpg", 0, false, false, false, cmyk, "", ColourModel::kYcck, 4},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.file);
    Picture picture;
    ASSERT_NO_THROW(picture.LoadPicture(DataPath(c.file)));
    const PictureFacts& facts = picture.graphic()->Facts();
    EXPECT_EQ(facts.orientation, c.orientation);
    EXPECT_EQ(facts.orientation_applied, c.applied);
    EXPECT_EQ(facts.metadata.exif.size() > 6, c.exif);
    if (c.exif) {
      EXPECT_EQ(std::memcmp(facts.metadata.exif.data(), "Exif\0\0", 6), 0);
    }
    EXPECT_EQ(!facts.metadata.xmp.empty(), c.xmp);
    if (c.icc_bytes != 0) {
      EXPECT_EQ(facts.icc.size(), c.icc_bytes);
      EXPECT_EQ(AssembleIccProfile(facts.metadata.icc), facts.icc);
    }
    EXPECT_EQ(facts.icc.empty(), c.icc_bytes == 0) << facts.icc.size();
    EXPECT_EQ(DateText(facts.capture_date), c.date);
    EXPECT_EQ(facts.colour_model, c.colour);
    EXPECT_EQ(facts.scales.size(), c.scales);
  }
}

// A profile larger than one JPEG segment holds is split into numbered chunks that assemble back.
TEST(PictureFacts, LargeProfilesSplitIntoChunksThatAssembleBack) {
  std::vector<uint8_t> profile(150000);
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = static_cast<uint8_t>(i * 7);
  const auto chunks = IccProfileChunks(profile);
  ASSERT_EQ(chunks.size(), 3u);
  for (const auto& chunk : chunks) EXPECT_LE(chunk.size(), 65533u);
  EXPECT_EQ(AssembleIccProfile(chunks), profile);
  EXPECT_TRUE(IccProfileChunks({}).empty());
}

}  // namespace
}  // namespace tessane
