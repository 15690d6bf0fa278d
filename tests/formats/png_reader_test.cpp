#include <gtest/gtest.h>

#include <random>

#include "base/errors.h"
#include "formats/png_gif_test_support.h"
#include "formats/png/png_graphic.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Deflate;
using test::DrawOnto;
using test::Ihdr;
using test::LoadBytes;
using test::MakePng;

const std::string kMsgHeader =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it contains "
    "an invalid header. This file may be corruped, try obtaining it again.";
const std::string kMsgEnd =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected "
    "end of the file.";
const std::string kMsgIhdrFirst =
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR "
    "chunk is not the first)";
const std::string kMsgCritical =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not be "
    "decoded.";
const std::string kMsgCrc =
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of "
    "data (crc error)";
const std::string kMsgNoData = "This \"Portable Network Graphics\" image contains no data.";

std::string LoadError(const std::vector<uint8_t>& bytes) {
  PngGraphic png;
  try {
    LoadBytes(png, bytes);
  } catch (const InvalidImageError& e) {
    return e.what();
  }
  return "(loaded)";
}

// A valid 2 x 1 RGB file to damage.
std::vector<uint8_t> TinyRgbData() {
  return Deflate({0, 10, 20, 30, 40, 50, 60});
}

// Loads the file leaving its image data for later and reads them through OpenPngRows; the
// error met, or "" with every row in `pixels`. "(no rows)" where the reader takes no rows.
std::string ReadByRows(const std::vector<uint8_t>& bytes, std::vector<uint32_t>& pixels) {
  PngGraphic png;
  png.SetDecodeLater(true);
  try {
    LoadBytes(png, bytes);
    const std::unique_ptr<RowSource> rows = OpenPngRows(png.Chunks());
    if (!rows) return "(no rows)";
    pixels.clear();
    for (int32_t y = 0; y < rows->Height(); ++y) {
      const Argb32* row = rows->NextRow(y);
      pixels.insert(pixels.end(), row, row + rows->Width());
    }
    rows->Finish();
  } catch (const InvalidImageError& e) {
    return e.what();
  }
  return "";
}

TEST(PngReader, PublicSamplesMatchTheirReferencesOrFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  // 16-bit samples keep their high byte and blending rounds its own way: one level at most.
  EXPECT_GT(test::CheckSamplesOverBlack<PngGraphic>("png", 1), 150);
}

TEST(PngReader, EachStructuralFaultHasItsMessage) {
  const auto ihdr = Ihdr(2, 1, 8, 2);
  const auto idat = TinyRgbData();
  auto bad_crc = MakePng({{"IHDR", ihdr}, {"IDAT", idat}, {"IEND", {}}});
  bad_crc[bad_crc.size() - 20] ^= 0x01;  // a byte inside the IDAT data
  auto bad_signature = MakePng({{"IHDR", ihdr}, {"IDAT", idat}, {"IEND", {}}});
  bad_signature[4] = 0x0A;
  const auto complete = MakePng({{"IHDR", ihdr}, {"IDAT", idat}, {"IEND", {}}});
  const std::vector<uint8_t> cut_in_chunk(complete.begin(), complete.end() - 14);
  struct Case {
    const char* fault;
    std::vector<uint8_t> bytes;
    std::string message;
  };
  const Case cases[] = {
      {"empty file", {}, kMsgHeader},
      {"damaged signature", bad_signature, kMsgHeader},
      {"no IEND", MakePng({{"IHDR", ihdr}, {"IDAT", idat}}), kMsgEnd},
      {"cut inside a chunk", cut_in_chunk, kMsgEnd},
      {"gAMA before IHDR", MakePng({{"gAMA", {0, 0, 0, 1}}, {"IHDR", ihdr}, {"IDAT", idat}}),
       kMsgIhdrFirst},
      {"unknown critical chunk",
       MakePng({{"IHDR", ihdr}, {"ZZZZ", {}}, {"IDAT", idat}, {"IEND", {}}}), kMsgCritical},
      {"CRC mismatch", bad_crc, kMsgCrc},
      {"no IDAT", MakePng({{"IHDR", ihdr}, {"IEND", {}}}), kMsgNoData},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadError(c.bytes), c.message) << c.fault;

  // Unknown ancillary chunks are skipped, their CRC still checked.
  EXPECT_EQ(LoadError(MakePng({{"IHDR", ihdr}, {"zzZZ", {1, 2, 3}}, {"IDAT", idat}, {"IEND", {}}})),
            "(loaded)");
}

TEST(PngReader, BadHeaderAndImageDataAreRefused) {
  const auto idat = TinyRgbData();
  auto with_header = [&](std::vector<uint8_t> ihdr, std::vector<uint8_t> data) {
    return LoadError(MakePng({{"IHDR", ihdr}, {"IDAT", data}, {"IEND", {}}}));
  };
  auto message_has = [](const std::string& message, const char* part) {
    return message.find(part) != std::string::npos;
  };
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 8, 1), idat), "invalid color type"));
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 3, 2), idat), "invalid bit depth"));
  EXPECT_TRUE(message_has(with_header(Ihdr(0, 1, 8, 2), idat), "invalid image size"));
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 8, 3), idat), "missing palette"));
  // Declared sizes beyond the limits are refused before anything is allocated.
  EXPECT_TRUE(message_has(with_header(Ihdr(65535, 65535, 16, 6), idat), "too large"));
  EXPECT_TRUE(message_has(with_header(Ihdr(70000, 1, 8, 0), idat), "too large"));
  // Image data: too short, a filter type beyond 4, a damaged zlib stream or checksum.
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 2, 8, 2), idat), "not enough image data"));
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 8, 2), Deflate({5, 1, 2, 3, 4, 5, 6})),
                          "invalid filter type"));
  auto bad_adler = idat;
  bad_adler.back() ^= 0xFF;
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 8, 2), bad_adler), "zlib error"));
  EXPECT_TRUE(message_has(with_header(Ihdr(2, 1, 8, 2), {0x78, 0x9C, 0xFF, 0xFF}), "zlib error"));
}

TEST(PngReader, ImageDataBeyondTheDeclaredSizeIsNotKept) {
  // A 1 x 1 grey picture whose zlib stream holds 16 MB: only the first row is used.
  std::vector<uint8_t> raw(16u << 20, 0);
  raw[1] = 77;
  const auto png = MakePng({{"IHDR", Ihdr(1, 1, 8, 0)}, {"IDAT", Deflate(raw, 9)}, {"IEND", {}}});
  PngGraphic object;
  LoadBytes(object, png);
  EXPECT_EQ(DrawOnto(object), std::vector<uint32_t>{0xFF4D4D4Du});
}

TEST(PngReader, IdatSplitAcrossChunksAndEmptyChunks) {
  const auto data = Deflate({0, 1, 2, 3, 1, 9, 8, 7, 2, 1, 1, 1});  // 3 x 1 RGB, filters 0, 1, 2
  std::vector<test::TestChunk> chunks = {{"IHDR", Ihdr(1, 3, 8, 2)}};
  for (size_t i = 0; i < data.size(); ++i) {
    chunks.push_back({"IDAT", {data[i]}});
    chunks.push_back({"IDAT", {}});
  }
  chunks.push_back({"IEND", {}});
  PngGraphic png;
  LoadBytes(png, MakePng(chunks));
  EXPECT_EQ(DrawOnto(png), (std::vector<uint32_t>{0xFF010203u, 0xFF090807u, 0xFF0A0908u}));
  // The image data are held in one piece; saving cuts them into the file's chunks again.
  EXPECT_EQ(test::SaveBytes(png), MakePng(chunks));
}

// The three drawing rules, drawn over a grey destination.
TEST(PngReader, DrawingFollowsTheKindOfTransparency) {
  const uint32_t kDest = 0xFF404040u;
  struct Case {
    const char* kind;
    std::vector<test::TestChunk> chunks;
    PngTransparency transparency;
    std::vector<uint32_t> expected;
  };
  // Channel blend: (s * a + (255 - a) * d + 255) >> 8.
  auto blend = [](uint32_t s, uint32_t d, uint32_t a) {
    return (s * a + (255 - a) * d + 255) >> 8;
  };
  const uint32_t half_red = (blend(255, 255, 128) << 24) | (blend(200, 0x40, 128) << 16) |
                            (blend(100, 0x40, 128) << 8) | blend(50, 0x40, 128);
  const std::vector<Case> cases = {
      {"opaque RGB",
       {{"IHDR", Ihdr(2, 1, 8, 2)}, {"IDAT", Deflate({0, 1, 2, 3, 4, 5, 6})}, {"IEND", {}}},
       PngTransparency::kNone,
       {0xFF010203u, 0xFF040506u}},
      {"RGBA blends by alpha",
       {{"IHDR", Ihdr(3, 1, 8, 6)},
        {"IDAT", Deflate({0, 200, 100, 50, 128, 9, 9, 9, 0, 7, 8, 9, 255})},
        {"IEND", {}}},
       PngTransparency::kPartial,
       {half_red, kDest, 0xFF070809u}},
      {"RGB 16-bit key compares all 16 bits",
       {{"IHDR", Ihdr(2, 1, 16, 2)},
        {"tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}},
        {"IDAT",
         Deflate({0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC})},
        {"IEND", {}}},
       PngTransparency::kBit,
       {kDest, 0xFF12569Au}},
      {"grey 2-bit key",
       {{"IHDR", Ihdr(4, 1, 2, 0)}, {"tRNS", {0, 2}}, {"IDAT", Deflate({0, 0x1B})}, {"IEND", {}}},
       PngTransparency::kBit,
       {0xFF000000u, 0xFF555555u, kDest, 0xFFFFFFFFu}},
      {"palette alpha of 0 and 255 only",
       {{"IHDR", Ihdr(3, 1, 8, 3)},
        {"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}},
        {"tRNS", {255, 0}},
        {"IDAT", Deflate({0, 0, 1, 2})},
        {"IEND", {}}},
       PngTransparency::kBit,
       {0xFFFF0000u, kDest, 0xFF0000FFu}},
      {"palette alpha between",
       {{"IHDR", Ihdr(2, 1, 1, 3)},
        {"PLTE", {200, 100, 50, 1, 2, 3}},
        {"tRNS", {128}},
        {"IDAT", Deflate({0, 0x40})},
        {"IEND", {}}},
       PngTransparency::kPartial,
       {half_red, 0xFF010203u}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    PngGraphic png;
    LoadBytes(png, MakePng(c.chunks));
    EXPECT_EQ(png.Transparency(), c.transparency);
    EXPECT_EQ(DrawOnto(png, kDest), c.expected);
  }
}

TEST(PngReader, DamagedImageDataNeverCrashes) {
  // Valid CRCs around damaged zlib streams and filter bytes: every outcome is a load or a clean
  // InvalidImageError, for plain and interlaced layouts of every colour type.
  std::mt19937 random(1234);
  const std::pair<uint8_t, uint8_t> kinds[] = {{1, 0}, {16, 0}, {8, 2}, {16, 2}, {4, 3},
                                               {8, 4}, {16, 6}, {8, 6}, {2, 3}};
  std::vector<uint8_t> palette(3 * 16, 90);
  for (int round = 0; round < 400; ++round) {
    const auto [depth, color] = kinds[round % 9];
    const uint32_t w = 1 + random() % 19, h = 1 + random() % 11;
    const uint8_t interlace = static_cast<uint8_t>(round / 9 % 2);
    std::vector<uint8_t> raw(4000);
    for (auto& b : raw) b = static_cast<uint8_t>(random() % 7 == 0 ? random() : random() % 5);
    auto data = Deflate(raw);
    if (round % 3 == 0) data[random() % data.size()] ^= static_cast<uint8_t>(1 + random() % 255);
    if (round % 5 == 0) data.resize(random() % data.size());
    std::vector<test::TestChunk> chunks = {{"IHDR", Ihdr(w, h, depth, color, interlace)}};
    if (color == 3) chunks.push_back({"PLTE", palette});
    chunks.push_back({"IDAT", data});
    chunks.push_back({"IEND", {}});
    PngGraphic png;
    try {
      LoadBytes(png, MakePng(chunks));
      EXPECT_EQ(DrawOnto(png).size(), size_t{w} * h);
    } catch (const InvalidImageError&) {
    }
  }
}

// Image data are inflated in one piece when they are whole and valid, and through zlib's stream
// otherwise. A stream followed by one byte more takes the second way: both must give the same
// picture, for every colour type and depth, plain and interlaced, in one IDAT chunk or several,
// also when the buffer a previous picture left behind is reused.
TEST(PngReader, WholeAndStreamedInflationGiveTheSamePicture) {
  std::mt19937 random(77);
  const std::pair<uint8_t, uint8_t> kinds[] = {{1, 0}, {2, 0},  {4, 0}, {8, 0}, {16, 0},
                                               {8, 2}, {16, 2}, {1, 3}, {4, 3}, {8, 3},
                                               {8, 4}, {16, 4}, {8, 6}, {16, 6}};
  std::vector<uint8_t> palette(3 * 256);
  for (auto& b : palette) b = static_cast<uint8_t>(random());
  for (int round = 0; round < 112; ++round) {
    const auto [depth, color] = kinds[round % 14];
    const uint8_t interlace = static_cast<uint8_t>(round / 14 % 2);
    const uint32_t w = 1 + random() % 70, h = 1 + random() % 40;
    const size_t channels = color == 2 ? 3 : color == 4 ? 2 : color == 6 ? 4 : 1;
    const size_t row_bytes = (w * channels * depth + 7) / 8;
    // Filter bytes 0..4 before every row (of the whole picture when not interlaced); an
    // interlaced picture's passes take what they need and leave the rest as surplus.
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h * 2; ++y) {
      raw.push_back(static_cast<uint8_t>(random() % 5));
      for (size_t i = 0; i < row_bytes; ++i)
        raw.push_back(static_cast<uint8_t>(random() % 3 == 0 ? random() : random() % 4));
    }
    if (!interlace) raw.resize(h * (row_bytes + 1));
    const auto stream = Deflate(raw, static_cast<int>(round % 10));
    auto padded = stream;
    padded.push_back(0);
    std::vector<test::TestChunk> whole = {{"IHDR", Ihdr(w, h, depth, color, interlace)}};
    if (color == 3) whole.push_back({"PLTE", palette});
    auto streamed = whole;
    const size_t cut = stream.size() / 3;  // several IDAT chunks on every second round
    if (round % 2 == 0) {
      whole.push_back({"IDAT", std::vector<uint8_t>(stream.begin(), stream.begin() + cut)});
      whole.push_back({"IDAT", std::vector<uint8_t>(stream.begin() + cut, stream.end())});
    } else {
      whole.push_back({"IDAT", stream});
    }
    streamed.push_back({"IDAT", padded});
    whole.push_back({"IEND", {}});
    streamed.push_back({"IEND", {}});

    RecyclePngPixels(std::vector<uint32_t>(size_t{1} << (round % 14), 0xDEADBEEFu));
    PngGraphic a, b;
    std::string a_error, b_error;
    try {
      LoadBytes(a, MakePng(whole));
    } catch (const InvalidImageError& e) {
      a_error = e.what();
    }
    RecyclePngPixels(std::vector<uint32_t>(size_t{1} << (13 - round % 14), 0xDEADBEEFu));
    try {
      LoadBytes(b, MakePng(streamed));
    } catch (const InvalidImageError& e) {
      b_error = e.what();
    }
    ASSERT_EQ(a_error, b_error) << "round " << round;
    // Row by row, pictures that are not interlaced: failing where the whole picture fails, or
    // with the same pixels.
    std::vector<uint32_t> rows;
    const std::string rows_error = ReadByRows(MakePng(whole), rows);
    if (!interlace) {
      EXPECT_EQ(rows_error.empty(), a_error.empty()) << "round " << round;
    } else {
      EXPECT_EQ(rows_error, "(no rows)") << "round " << round;
    }
    if (!a_error.empty()) continue;
    EXPECT_EQ(a.Transparency(), b.Transparency()) << "round " << round;
    EXPECT_EQ(a.Pixels(), b.Pixels()) << "round " << round;
    if (rows_error.empty()) {
      EXPECT_EQ(rows, a.Pixels()) << "round " << round;
    }
  }
}

// Image data that are cut, padded, too long or damaged keep the outcome of the stream reader:
// a stream whose rows are all there loads even when its end or checksum is missing.
TEST(PngReader, CutOrPaddedImageDataKeepTheirOutcome) {
  const std::vector<uint8_t> raw = {1, 10, 20, 30, 5, 5, 5, 2, 1, 2, 3, 4, 5, 6};  // 2 x 2 RGB
  const std::vector<uint32_t> pixels = {0xFF0A141Eu, 0xFF0F1923u, 0xFF0B1621u, 0xFF131E29u};
  const auto stored = Deflate(raw, 0);  // stored: every cut position is known
  auto longer = raw;
  longer.insert(longer.end(), {0, 9, 9, 9, 9, 9, 9});
  auto bad_filter = raw;
  bad_filter[7] = 7;
  auto bad_first_filter = raw;
  bad_first_filter[0] = 7;
  const auto bad_first_stored = Deflate(bad_first_filter, 0);
  auto bad_adler = Deflate(raw);
  bad_adler.back() ^= 0x40;
  auto padded = Deflate(raw);
  padded.insert(padded.end(), {1, 2, 3, 4, 5});
  const std::string kData =
      "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces "
      "of data (";
  struct Case {
    const char* data;
    std::vector<uint8_t> stream;
    std::string error;  // empty: loads with `pixels`
  };
  const Case cases[] = {
      {"whole, stored", stored, ""},
      {"whole, compressed", Deflate(raw, 9), ""},
      {"checksum missing", std::vector<uint8_t>(stored.begin(), stored.end() - 4), ""},
      {"last checksum byte missing", std::vector<uint8_t>(stored.begin(), stored.end() - 1), ""},
      {"cut inside the last row", std::vector<uint8_t>(stored.begin(), stored.end() - 5),
       kData + "not enough image data)"},
      {"cut after the header", std::vector<uint8_t>(stored.begin(), stored.begin() + 2),
       kData + "not enough image data)"},
      {"bytes after the stream", padded, ""},
      {"a row more than the picture", Deflate(longer), ""},
      {"filter type 7 in the second row", Deflate(bad_filter), kData + "invalid filter type)"},
      {"damaged checksum", bad_adler, kData + "zlib error)"},
      // The first fault in reading order wins, though the data break off right after it.
      {"filter type 7 in the first row, cut in the second",
       std::vector<uint8_t>(bad_first_stored.begin(), bad_first_stored.end() - 7),
       kData + "invalid filter type)"},
  };
  for (const auto& c : cases) {
    const auto file = MakePng({{"IHDR", Ihdr(2, 2, 8, 2)}, {"IDAT", c.stream}, {"IEND", {}}});
    PngGraphic png;
    std::string error;
    try {
      LoadBytes(png, file);
    } catch (const InvalidImageError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.data;
    if (error.empty()) {
      EXPECT_EQ(png.Pixels(), pixels) << c.data;
    }
    // Read row by row, with the image data left for later, the same files load. The reader
    // inflates a block of rows at a time: its message may name a fault further on.
    std::vector<uint32_t> rows;
    EXPECT_EQ(ReadByRows(file, rows).empty(), c.error.empty()) << c.data << ", by rows";
    if (c.error.empty()) {
      EXPECT_EQ(rows, pixels) << c.data << ", by rows";
    }
  }
}

// A stream cut off while zlib still holds the end of a long match: the input runs out before
// the last row, but zlib gives that row without more of it. The picture loads, read whole or by
// rows; it once failed as "not enough image data" when the row boundary fell inside the match.
TEST(PngReader, RowsHeldInsideZlibWhenTheInputEndsStillLoad) {
  const std::vector<uint8_t> cut = {0x78, 0x9C, 0x63, 0x60, 0x40, 0x06};  // 2 x 2 black, no end
  const auto file = MakePng({{"IHDR", Ihdr(2, 2, 8, 2)}, {"IDAT", cut}, {"IEND", {}}});
  EXPECT_EQ(LoadError(file), "(loaded)");
  std::vector<uint32_t> rows;
  EXPECT_EQ(ReadByRows(file, rows), "");
  EXPECT_EQ(rows, std::vector<uint32_t>(4, 0xFF000000u));
  // One byte less, and the second row is short indeed.
  const auto shorter = MakePng(
      {{"IHDR", Ihdr(2, 2, 8, 2)}, {"IDAT", {cut.begin(), cut.end() - 1}}, {"IEND", {}}});
  EXPECT_NE(LoadError(shorter).find("not enough image data"), std::string::npos);
  EXPECT_EQ(ReadByRows(shorter, rows), LoadError(shorter));
}

TEST(PngReader, FailedLoadKeepsThePreviousPicture) {
  PngGraphic png;
  LoadBytes(png, MakePng({{"IHDR", Ihdr(2, 1, 8, 2)}, {"IDAT", TinyRgbData()}, {"IEND", {}}}));
  EXPECT_THROW(LoadBytes(png, MakePng({{"IHDR", Ihdr(5, 5, 8, 2)}, {"IEND", {}}})),
               InvalidImageError);
  EXPECT_EQ(png.Width(), 2);
  EXPECT_EQ(DrawOnto(png), (std::vector<uint32_t>{0xFF0A141Eu, 0xFF28323Cu}));
}

}  // namespace
}  // namespace tessane
