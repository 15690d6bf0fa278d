#include "formats/ppm/ppm_graphic.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid =
    "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.";

// Listed as a bitmap that loads, but its bytes are a PNG file.
const char* const kPngNamedPbm = "netpbm/pil_courB08.pbm";

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<PpmGraphic>(bytes);
}

std::vector<uint32_t> AllPixels(const DibImage& bitmap) {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) pixels.push_back(PixelAt(bitmap, x, y));
  return pixels;
}

TEST(PpmTest, TextAndBinaryFormsGiveTheSamePicture) {
  struct Case {
    const char* name;
    std::string text, binary;
    DibFormat format;
    std::vector<uint32_t> pixels;  // 3 x 2, rows top first
  };
  const Case cases[] = {
      {"bitmap: 1 is black",
       "P1\n# comment\n3 2\n1 0 1\n011",
       std::string("P4 3 2\n") + "\xA0\x60",
       DibFormat::k1Bit,
       {0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFF000000u}},
      {"grey map",
       "P2 3 2 255\n0 128 255\n#\n1 2 3\n",
       std::string("P5\n3#c\n2\n255\n") + std::string("\x00\x80\xFF\x01\x02\x03", 6),
       DibFormat::k8Bit,
       {0xFF000000u, 0xFF808080u, 0xFFFFFFFFu, 0xFF010101u, 0xFF020202u, 0xFF030303u}},
      {"pixel map",
       "P3 3 2 255 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18",
       std::string("P6 3 2 255\n") +
           "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12",
       DibFormat::k24Bit,
       {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu, 0xFF0D0E0Fu, 0xFF101112u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto text = Load(Bytes(c.text));
    const auto binary = Load(Bytes(c.binary));
    EXPECT_EQ(text->PixelFormat(), c.format);
    EXPECT_EQ(binary->PixelFormat(), c.format);
    EXPECT_EQ(AllPixels(*text), c.pixels);
    EXPECT_EQ(AllPixels(*binary), c.pixels);
  }
}

TEST(PpmTest, SamplesScaleToEightBitsByTheNetpbmRule) {
  struct Case {
    unsigned maxval;
    std::vector<unsigned> values;
    std::vector<unsigned> levels;  // (v * 255 + maxval / 2) / maxval
  };
  const Case cases[] = {
      {1, {0, 1}, {0, 255}},
      {15, {0, 1, 7, 8, 15}, {0, 17, 119, 136, 255}},
      {100, {1, 50, 99}, {3, 128, 252}},
      {255, {0, 77, 255}, {0, 77, 255}},
      {1000, {1, 2, 500, 998}, {0, 1, 128, 254}},
      {65535, {128, 129, 32768, 65535}, {0, 1, 128, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("maxval " + std::to_string(c.maxval));
    std::string text =
        "P2 " + std::to_string(c.values.size()) + " 1 " + std::to_string(c.maxval) + "\n";
    std::string binary =
        "P5 " + std::to_string(c.values.size()) + " 1 " + std::to_string(c.maxval) + "\n";
    for (const unsigned v : c.values) {
      text += std::to_string(v) + " ";
      if (c.maxval > 255) binary += static_cast<char>(v >> 8);
      binary += static_cast<char>(v & 0xFF);
    }
    for (const auto& file : {text, binary}) {
      const auto bitmap = Load(Bytes(file));
      for (size_t i = 0; i < c.levels.size(); ++i)
        EXPECT_EQ(PixelAt(*bitmap, static_cast<int32_t>(i), 0),
                  0xFF000000u | c.levels[i] * 0x010101u)
            << "value " << c.values[i];
    }
  }
  // Values above maxval count as maxval.
  EXPECT_EQ(PixelAt(*Load(Bytes("P2 1 1 10 12")), 0, 0), 0xFFFFFFFFu);
}

TEST(PpmTest, ArbitraryMaps) {
  struct Case {
    const char* name;
    std::string file;
    DibFormat format;
    uint32_t pixel;
  };
  const Case cases[] = {
      {"grey", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x40",
       DibFormat::k8Bit, 0xFF404040u},
      {"black and white",
       "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n\x01",
       DibFormat::k8Bit, 0xFFFFFFFFu},
      {"grey and alpha",
       "P7\n# a comment\nHEIGHT 1\nWIDTH 1\nMAXVAL 255\nDEPTH 2\nENDHDR\n\x40\x80",
       DibFormat::k32Bit, 0x80404040u},
      {"colour", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\x01\x02\x03",
       DibFormat::k24Bit, 0xFF010203u},
      {"colour and alpha, 16 bits",
       std::string("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n") +
           std::string("\x01\x01\x02\x02\x03\x03\xFF\xFF", 8),
       DibFormat::k32Bit, 0xFF010203u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bitmap = Load(Bytes(c.file));
    EXPECT_EQ(bitmap->PixelFormat(), c.format);
    EXPECT_EQ(PixelAt(*bitmap, 0, 0), c.pixel);
  }
}

TEST(PpmTest, OnlyTheFirstImageIsRead) {
  const auto bitmap = Load(Bytes("P5 1 1 255\n\x10P5 2 2 255\n\x20\x20\x20\x20"));
  EXPECT_EQ(bitmap->Width(), 1);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF101010u);
}

TEST(PpmTest, BadFilesFailWithTheirMessage) {
  struct Case {
    const char* name;
    std::string file;
    const char* message;
  };
  const Case cases[] = {
      {"empty file", "", kReadError},
      {"unknown kind", "P8 1 1 255\n\x01", kInvalid},
      {"not Netpbm", "GIF89a", kInvalid},
      {"kind followed by a digit", "P61 1 255\n\x01\x02\x03", kInvalid},
      {"header ends early", "P6 1 1", kReadError},
      {"negative width", "P6 -1 1 255\n\x01\x02\x03", kInvalid},
      {"width 0", "P5 0 1 255\n", kInvalid},
      {"number too large", "P5 99999999999 1 255\n\x01", kInvalid},
      {"maxval 0", "P5 1 1 0\n\x01", kInvalid},
      {"maxval over 65535", "P5 1 1 65536\n\x01\x01", kInvalid},
      {"no whitespace after maxval", "P5 1 1 255X\x01", kInvalid},
      {"binary data cut short", "P6 2 1 255\n\x01\x02\x03\x04\x05", kReadError},
      {"16-bit data cut short", "P5 2 1 65535\n\x01\x02\x03", kReadError},
      {"bitmap rows cut short", "P4 9 2\n\x01\x02\x03", kReadError},
      {"text data cut short", "P2 3 1 255\n1 2", kReadError},
      {"bitmap text with other digits", "P1 2 1\n1 2", kInvalid},
      {"letters among text samples", "P3 1 1 255\n1 x 3", kInvalid},
      {"arbitrary map without depth", "P7\nWIDTH 1\nHEIGHT 1\nMAXVAL 255\nENDHDR\n\x01", kInvalid},
      {"arbitrary map of depth 5",
       "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n\x01\x02\x03\x04\x05", kInvalid},
      {"arbitrary map with an unknown field",
       "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nCOLOURS 2\nMAXVAL 255\nENDHDR\n\x01", kInvalid},
      {"arbitrary map header without its end", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n",
       kReadError},
      {"65535 x 65535 pixels", "P5 65535 65535 255\n\x01", kInvalid},
      {"a large picture in a few bytes", "P6 16000 16000 255\n\x01\x02\x03", kReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError<PpmGraphic>(Bytes(c.file)), c.message);
  }
}

TEST(PpmTest, PublicSamples) {
  REQUIRE_SHARED_SAMPLES();
  CheckManifestSamples("netpbm", Load, {kReadError, kInvalid},
                       [](const std::string& file) { return file == kPngNamedPbm ? -1 : 2; });
}

TEST(PpmTest, PngNamedPbmIsNotReadAsNetpbm) {
  REQUIRE_SHARED_SAMPLES();
  // The sample listed as a bitmap holds a PNG file; the reader goes by content, not by name.
  EXPECT_EQ(
      LoadError<PpmGraphic>(ReadBytes(SharedPath(std::string("testimages/") + kPngNamedPbm))),
      kInvalid);
}

TEST(PpmTest, DamagedSamplesFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  CheckDamagedSamples("netpbm", Load, {kReadError, kInvalid});
}

TEST(PpmTest, FilesWrittenByOtherPrograms) {
  EXPECT_EQ(CheckFilesWithDecodes("ppm", Load, 0), 10);
}

}  // namespace
}  // namespace tessane::test
