#include "formats/eps/eps_graphic.h"

#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected EPS image format.";

// An EPS file with a binary header: PostScript text, then the preview at the end.
std::vector<uint8_t> Eps(const std::vector<uint8_t>& preview) {
  const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 37 21\n%%EOF\n";
  std::vector<uint8_t> file(30, 0);
  file[0] = 0xC5, file[1] = 0xD0, file[2] = 0xD3, file[3] = 0xC6;
  StoreLe32(&file[4], 30);
  StoreLe32(&file[8], static_cast<uint32_t>(postscript.size()));
  StoreLe32(&file[20], static_cast<uint32_t>(30 + postscript.size()));
  StoreLe32(&file[24], static_cast<uint32_t>(preview.size()));
  file[28] = file[29] = 0xFF;  // no checksum
  for (const char c : postscript) file.push_back(static_cast<uint8_t>(c));
  for (const uint8_t b : preview) file.push_back(b);
  return file;
}

// A TIFF written by libtiff's tools, with its decode beside it.
const char* const kPreview = "tiff/tiffcp_lzw_predictor.tif";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<EpsGraphic>(bytes);
}

TEST(EpsTest, TheTiffPreviewIsThePicture) {
  const auto bitmap = Load(Eps(ReadBytes(DataPath(kPreview))));
  EXPECT_TRUE(MatchesReference(*bitmap, DataPath(std::string(kPreview) + ".png"), 1));
}

TEST(EpsTest, BadFilesFailWithTheEpsMessage) {
  const std::vector<uint8_t> preview = ReadBytes(DataPath(kPreview));
  auto with = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> file = Eps(preview);
    StoreLe32(&file[at], value);
    return file;
  };
  std::vector<uint8_t> damaged_preview = preview;
  damaged_preview.resize(preview.size() / 2);
  const std::string plain = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n";
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  const Case cases[] = {
      {"plain PostScript", {plain.begin(), plain.end()}, kInvalid},
      {"binary header cut short", {0xC5, 0xD0, 0xD3, 0xC6, 30, 0, 0, 0}, kReadError},
      {"three bytes", {0xC5, 0xD0, 0xD3}, kReadError},
      {"no preview: offset 0", with(20, 0), kInvalid},
      {"no preview: length 0", with(24, 0), kInvalid},
      {"preview past the end of the file", with(24, static_cast<uint32_t>(preview.size() + 1)),
       kInvalid},
      {"preview offset far outside", with(20, 0xFFFFFFF0u), kInvalid},
      {"preview that is not a TIFF", with(20, 4), kInvalid},
      {"damaged preview", Eps(damaged_preview), kInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<EpsGraphic>(c.file), c.message);
  }
}

// Bytes up to the end of the preview.
size_t PictureBytes(const std::vector<uint8_t>& file) {
  if (file.size() < 28) return file.size();
  return std::min(file.size(), size_t{LoadLe32(&file[20])} + size_t{LoadLe32(&file[24])});
}

TEST(EpsTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("eps", Load, {kReadError, kInvalid});
}

TEST(EpsTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("eps", Load, {kReadError, kInvalid}, PictureBytes);
}

}  // namespace
}  // namespace tessane::test
