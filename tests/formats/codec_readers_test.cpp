// The readers tessane-cli adds through codec libraries: HEIF/AVIF (libheif), WebP (libwebp) and
// JPEG XL (libjxl). Fixtures and their reference decodes come from tests/data/generate_modern.py.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/format_registry.h"
#include "formats/bmp/dib_image.h"
#include "formats/heif/heif_graphic.h"
#include "formats/jxl/jxl_graphic.h"
#include "formats/sample_checks.h"
#include "formats/webp/webp_graphic.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

std::unique_ptr<CodecGraphic> Load(GraphicFactory create, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<Graphic> graphic = create();
  ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  graphic->LoadFromStream(stream);
  return std::unique_ptr<CodecGraphic>(static_cast<CodecGraphic*>(graphic.release()));
}

// The pixels as a 32-bit bitmap, for the reference comparison.
DibImage AsBitmap(const CodecGraphic& graphic) {
  DibImage bitmap;
  bitmap.SetPixelFormat(DibFormat::k32Bit);
  bitmap.SetSize(graphic.Width(), graphic.Height());
  for (int32_t y = 0; y < graphic.Height(); ++y)
    std::memcpy(bitmap.ScanLine(y), graphic.Pixels().data() + size_t(y) * graphic.Width(),
                size_t(graphic.Width()) * 4);
  return bitmap;
}

uint32_t PixelOf(const CodecGraphic& graphic, int32_t x, int32_t y) {
  return graphic.Pixels()[size_t(y) * graphic.Width() + x];
}

struct DecodeCase {
  const char* file;       // under tests/data
  GraphicFactory cls;
  const char* reference;  // under tests/data
  int tolerance;
};

// Each file against the reference decoder's output (lossless files against the picture they
// were made from, exactly). AVIF against libavif differs by rounding in the YUV conversion
// (1 step); everything else matches exactly. The rotated files are stored turned
// a quarter and carry a rotation property (HEIF/AVIF) or header orientation (JPEG XL): they
// must come out upright, 32 x 24, like the reference.
TEST(CodecReaders, DecodeMatchesReferenceDecoders) {
  const DecodeCase cases[] = {
      {"heif/photo.heic", MakeGraphic<HeifGraphic>, "heif/photo.heic.png", 0},
      {"heif/alpha.heic", MakeGraphic<HeifGraphic>, "heif/alpha.heic.png", 0},
      {"heif/rotated.heic", MakeGraphic<HeifGraphic>, "heif/rotated.heic.png", 0},
      {"avif/photo.avif", MakeGraphic<AvifGraphic>, "avif/photo.avif.png", 1},
      {"avif/deep10.avif", MakeGraphic<AvifGraphic>, "avif/deep10.avif.png", 1},
      {"avif/lossless_alpha.avif", MakeGraphic<AvifGraphic>, "modern/upright_alpha.png", 0},
      {"avif/rotated.avif", MakeGraphic<AvifGraphic>, "avif/rotated.avif.png", 0},
      {"webp/lossy.webp", MakeGraphic<WebpGraphic>, "webp/lossy.webp.png", 0},
      {"webp/lossless_alpha.webp", MakeGraphic<WebpGraphic>, "modern/upright_alpha.png", 0},
      {"webp/animated.webp", MakeGraphic<WebpGraphic>, "modern/upright.png", 0},
      {"webp/exif_o6.webp", MakeGraphic<WebpGraphic>, "webp/exif_o6.webp.png", 0},
      {"jxl/lossless_alpha.jxl", MakeGraphic<JxlGraphic>, "modern/upright_alpha.png", 0},
      {"jxl/lossy.jxl", MakeGraphic<JxlGraphic>, "jxl/lossy.jxl.png", 0},
      {"jxl/rotated.jxl", MakeGraphic<JxlGraphic>, "jxl/rotated.jxl.png", 0},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::unique_ptr<CodecGraphic> graphic;
    ASSERT_NO_THROW(graphic = Load(c.cls, ReadBytes(DataPath(c.file))));
    EXPECT_TRUE(MatchesReference(AsBitmap(*graphic), DataPath(c.reference), c.tolerance));
  }
}

// Upright means the red quadrant top left and the yellow one bottom right (exact colours are the
// reference test's business).
TEST(CodecReaders, RotatedFilesComeOutUpright) {
  for (const auto& [file, cls] : {std::pair<const char*, GraphicFactory>{"heif/rotated.heic", MakeGraphic<HeifGraphic>},
                                  std::pair<const char*, GraphicFactory>{"avif/rotated.avif", MakeGraphic<AvifGraphic>},
                                  std::pair<const char*, GraphicFactory>{"jxl/rotated.jxl", MakeGraphic<JxlGraphic>}}) {
    SCOPED_TRACE(file);
    const auto graphic = Load(cls, ReadBytes(DataPath(file)));
    ASSERT_EQ(graphic->Width(), 32);
    ASSERT_EQ(graphic->Height(), 24);
    const uint32_t top_left = PixelOf(*graphic, 2, 2);
    const uint32_t bottom_right = PixelOf(*graphic, 29, 21);
    EXPECT_GT((top_left >> 16) & 0xFF, 180u);
    EXPECT_LT(top_left & 0xFF, 90u);
    EXPECT_GT(bottom_right & 0xFF00, 0xB000u);
  }
}

struct Format {
  const char* file;
  GraphicFactory cls;
  const char* message;
};

const Format kFormats[] = {
    {"heif/photo.heic", MakeGraphic<HeifGraphic>,
     "Cannot load image. Invalid or unexpected HEIF image format."},
    {"avif/photo.avif", MakeGraphic<AvifGraphic>,
     "Cannot load image. Invalid or unexpected AVIF image format."},
    {"webp/lossy.webp", MakeGraphic<WebpGraphic>,
     "Cannot load image. Invalid or unexpected WebP image format."},
    {"webp/animated.webp", MakeGraphic<WebpGraphic>,
     "Cannot load image. Invalid or unexpected WebP image format."},
    {"jxl/lossy.jxl", MakeGraphic<JxlGraphic>,
     "Cannot load image. Invalid or unexpected JPEG XL image format."},
    {"jxl/lossless_alpha.jxl", MakeGraphic<JxlGraphic>,
     "Cannot load image. Invalid or unexpected JPEG XL image format."},
};

// Damaged files of every reader: cut short anywhere, bodies overwritten with noise behind an
// intact header, empty, or another format altogether. Each fails with the reader's message and
// leaves the graphic empty, whatever it held before. Noise may happen to decode; then it must
// still give a picture of the declared size.
TEST(CodecReaders, DamagedFilesFailCleanly) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.file);
    const std::vector<uint8_t> good = ReadBytes(DataPath(f.file));
    std::vector<std::vector<uint8_t>> damaged = {{}, ReadBytes(DataPath("modern/upright.png"))};
    for (size_t cut : {size_t{4}, size_t{12}, size_t{30}, good.size() / 3, good.size() / 2,
                       good.size() - 16, good.size() - 1})
      damaged.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    for (const auto& make : std::vector<std::function<void(std::vector<uint8_t>&)>>{
             [](std::vector<uint8_t>& bytes) {  // noise after the first 40 bytes
               uint32_t seed = 12345;
               for (size_t i = 40; i < bytes.size(); ++i) {
                 seed = seed * 1103515245u + 12345u;
                 bytes[i] = static_cast<uint8_t>(seed >> 16);
               }
             },
             [](std::vector<uint8_t>& bytes) {  // the second half zeroed
               std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2),
                         bytes.end(), 0);
             }}) {
      damaged.push_back(good);
      make(damaged.back());
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
      SCOPED_TRACE("case " + std::to_string(i) + ", " + std::to_string(damaged[i].size()) +
                   " bytes");
      std::unique_ptr<Graphic> graphic = f.cls();
      ReadOnlyMemoryStream first(good.data(), good.size());
      graphic->LoadFromStream(first);
      ReadOnlyMemoryStream stream(damaged[i].data(), damaged[i].size());
      try {
        graphic->LoadFromStream(stream);
        EXPECT_GE(i, 2u + 7u) << "a cut or foreign file loaded";
      } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind(f.message, 0), 0u) << e.what();
        EXPECT_TRUE(graphic->Empty()) << "a failed load leaves no picture behind";
      }
    }
  }
}

}  // namespace
}  // namespace tessane::test
