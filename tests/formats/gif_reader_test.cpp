#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

#include "base/errors.h"
#include "formats/gif/gif_graphic.h"
#include "formats/gif/gif_lzw.h"
#include "formats/png_gif_test_support.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::DrawOnto;
using test::LoadBytes;

std::string LoadError(const std::vector<uint8_t>& bytes) {
  GifGraphic gif;
  try {
    LoadBytes(gif, bytes);
  } catch (const InvalidImageError& e) {
    return e.what();
  }
  return "(loaded)";
}

void PutWord(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

/// Logical screen descriptor with a global table of 4 colours: red, green, blue, white.
std::vector<uint8_t> Header(uint16_t w, uint16_t h, const char* signature = "GIF89a") {
  std::vector<uint8_t> out(signature, signature + 6);
  PutWord(out, w);
  PutWord(out, h);
  out.insert(out.end(), {0x81, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  return out;
}

/// Image descriptor without local table, then the given LZW bytes as sub-blocks.
void PutFrameRaw(std::vector<uint8_t>& out, uint16_t left, uint16_t top, uint16_t w, uint16_t h,
                 uint8_t flags, uint8_t code_size, const std::vector<uint8_t>& lzw) {
  out.push_back(0x2C);
  PutWord(out, left);
  PutWord(out, top);
  PutWord(out, w);
  PutWord(out, h);
  out.push_back(flags);
  out.push_back(code_size);
  for (size_t i = 0; i < lzw.size(); i += 255) {
    const size_t n = std::min<size_t>(255, lzw.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), lzw.begin() + i, lzw.begin() + i + n);
  }
  out.push_back(0);
}

/// Image descriptor and pixels coded by our encoder.
void PutFrame(std::vector<uint8_t>& out, uint16_t left, uint16_t top, uint16_t w, uint16_t h,
              const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> coded;
  EncodeGifLzw(pixels.data(), pixels.size(), 2, coded);
  out.push_back(0x2C);
  PutWord(out, left);
  PutWord(out, top);
  PutWord(out, w);
  PutWord(out, h);
  out.push_back(0);
  out.push_back(2);
  out.insert(out.end(), coded.begin(), coded.end());
}

/// Packs codes least significant bit first.
std::vector<uint8_t> PackCodes(const std::vector<std::pair<uint32_t, int>>& codes) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (const auto& [code, width] : codes) {
    acc |= code << bits;
    bits += width;
    for (; bits >= 8; bits -= 8, acc >>= 8) out.push_back(static_cast<uint8_t>(acc));
  }
  if (bits > 0) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

TEST(GifReader, PublicSamplesMatchTheirReferencesOrFailCleanly) {
  REQUIRE_SHARED_SAMPLES();
  EXPECT_GT(test::CheckSamplesOverBlack<GifGraphic>("gif", 0), 25);
}

TEST(GifReader, SignatureInAnyCaseOrFourBytesLater) {
  auto file = [](const std::vector<uint8_t>& prefix, const char* signature) {
    std::vector<uint8_t> out = prefix;
    const auto body = Header(2, 1, signature);
    out.insert(out.end(), body.begin(), body.end());
    PutFrame(out, 0, 0, 2, 1, {0, 2});
    out.push_back(0x3B);
    return out;
  };
  EXPECT_EQ(LoadError(file({}, "GIF89a")), "(loaded)");
  EXPECT_EQ(LoadError(file({}, "gIf87a")), "(loaded)");
  EXPECT_EQ(LoadError(file({}, "GIFxyz")), "(loaded)");  // the version is not checked
  EXPECT_EQ(LoadError(file({1, 2, 3, 4}, "gif89a")), "(loaded)");
  EXPECT_EQ(LoadError(file({1, 2, 3}, "GIF89a")), "Invalid GIF signature");
  EXPECT_EQ(LoadError(file({1, 2, 3, 4, 5}, "GIF89a")), "Invalid GIF signature");
  EXPECT_EQ(LoadError({'G', 'I'}), "Invalid GIF signature");
  EXPECT_EQ(LoadError({}), "Invalid GIF signature");
}

TEST(GifReader, MalformedStreamsFailWithTheirMessage) {
  auto with_frame = [](std::vector<uint8_t> lzw, uint8_t code_size = 2, uint16_t w = 2,
                       uint16_t h = 2) {
    auto out = Header(2, 2);
    PutFrameRaw(out, 0, 0, w, h, 0, code_size, lzw);
    out.push_back(0x3B);
    return out;
  };
  auto truncated = with_frame(PackCodes({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}}));
  truncated.resize(truncated.size() - 4);
  auto unknown_block = Header(2, 2);
  unknown_block.push_back(0x99);
  auto header_only = Header(2, 2);
  header_only.resize(10);
  struct Case {
    const char* fault;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"sub-blocks cut off", truncated, "Premature end of data"},
      {"logical screen cut off", header_only, "Premature end of data"},
      {"no frame, no trailer", Header(2, 2), "Premature end of data"},
      {"unknown block", unknown_block, "Unknown GIF block type"},
      // Code 7 follows a clear code, with nothing yet in the table.
      {"string code first", with_frame(PackCodes({{4, 3}, {7, 3}})),
       "Circular decoder table entry"},
      // After the first code the next free code is 6; code 7 is not defined yet.
      {"code beyond the table", with_frame(PackCodes({{4, 3}, {0, 3}, {7, 3}})),
       "Circular decoder table entry"},
      {"data ends before the pixels", with_frame(PackCodes({{4, 3}, {0, 3}, {1, 3}}), 2, 4, 4),
       "Decoder bit buffer under-run"},
      {"code size 12", with_frame(PackCodes({{4, 3}}), 12), "Invalid GIF data"},
      {"code size 0", with_frame(PackCodes({{4, 3}}), 0), "Invalid GIF data"},
      {"frame beyond every limit", with_frame(PackCodes({{4, 3}}), 2, 65535, 65535),
       "Image exceeds Logical Screen size"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadError(c.bytes), c.message) << c.fault;

  // A code stream that stops at the end code before the last pixels, or never sends one, loads.
  EXPECT_EQ(LoadError(with_frame(PackCodes({{4, 3}, {0, 3}, {5, 3}}))), "(loaded)");
  EXPECT_EQ(LoadError(with_frame(PackCodes({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}}))), "(loaded)");
}

TEST(GifReader, DrawsTheFirstFrameAtItsOffsetLeavingTheRestAlone) {
  // Screen 4 x 3; frame 2 x 2 at (1, 1) whose index 2 is transparent; a second frame that
  // would cover everything is never drawn.
  auto bytes = Header(4, 3);
  bytes.insert(bytes.end(), {0x21, 0xF9, 4, 0x01, 0, 0, 2, 0});
  bytes.insert(bytes.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 0});  // comment
  bytes.insert(bytes.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                             3, 1, 0, 0, 0});  // application
  PutFrame(bytes, 1, 1, 2, 2, {0, 1, 2, 3});
  bytes.insert(bytes.end(), {0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 3, 0, 8, 8, 1, 0, 2, 'h', 'i', 0});
  PutFrame(bytes, 0, 0, 4, 3, std::vector<uint8_t>(12, 3));
  bytes.push_back(0x3B);
  GifGraphic gif;
  LoadBytes(gif, bytes);
  EXPECT_EQ(gif.Width(), 4);
  EXPECT_EQ(gif.Height(), 3);
  EXPECT_EQ(gif.Images().size(), 2u);
  const uint32_t d = 0x12345678u;
  EXPECT_EQ(DrawOnto(gif, d), (std::vector<uint32_t>{d, d, d, d,                      //
                                                     d, 0xFFFF0000u, 0xFF00FF00u, d,  //
                                                     d, d, 0xFFFFFFFFu, d}));
}

TEST(GifReader, FrameBeyondTheScreenIsCutAndInterlacedRowsAreReordered) {
  // Screen 3 x 9; an interlaced 4 x 10 frame whose stored row i holds pixels of value i % 4.
  auto bytes = Header(3, 9);
  const uint32_t order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};  // picture row of stored row i
  std::vector<uint8_t> stored;
  for (int i = 0; i < 10; ++i) stored.insert(stored.end(), 4, static_cast<uint8_t>(order[i] % 4));
  std::vector<uint8_t> coded;
  EncodeGifLzw(stored.data(), stored.size(), 2, coded);
  coded.erase(coded.end() - 1);  // PutFrameRaw adds the terminator
  std::vector<uint8_t> lzw;
  for (size_t i = 0; i < coded.size();) {  // undo the sub-blocks
    const size_t n = coded[i++];
    lzw.insert(lzw.end(), coded.begin() + i, coded.begin() + i + n);
    i += n;
  }
  PutFrameRaw(bytes, 0, 0, 4, 10, 0x40, 2, lzw);
  bytes.push_back(0x3B);
  GifGraphic gif;
  LoadBytes(gif, bytes);
  EXPECT_EQ(gif.Images()[0].width, 3);
  EXPECT_EQ(gif.Images()[0].height, 9);
  const uint32_t colors[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
  std::vector<uint32_t> expected;
  for (int y = 0; y < 9; ++y) expected.insert(expected.end(), 3, colors[y % 4]);
  EXPECT_EQ(DrawOnto(gif), expected);
}

// An encoder that, like some in the wild, never sends a clear code: once the table is full it
// just stops adding strings.
std::vector<uint8_t> EncodeWithoutClear(const std::vector<uint8_t>& pixels) {
  std::vector<std::pair<uint32_t, int>> codes = {{256, 9}};
  std::unordered_map<uint32_t, uint32_t> table;
  uint32_t next = 258;
  int bits = 9;
  uint32_t current = pixels[0];
  auto put = [&](uint32_t code) {
    codes.push_back({code, bits});
    if (next < 4096 && next > (1u << bits) - 1 && bits < 12) ++bits;
  };
  for (size_t i = 1; i < pixels.size(); ++i) {
    const uint32_t key = (current << 8) | pixels[i];
    if (auto it = table.find(key); it != table.end()) {
      current = it->second;
      continue;
    }
    put(current);
    if (next < 4096) table[key] = next++;
    current = pixels[i];
  }
  put(current);
  codes.push_back({257, bits});
  return PackCodes(codes);
}

TEST(GifReader, FullCodeTableWithoutClearCode) {
  std::mt19937 random(7);
  std::vector<uint8_t> pixels(40000);
  for (auto& p : pixels) p = static_cast<uint8_t>(random() % 16);
  std::vector<uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a', 200, 0, 200, 0, 0, 0, 0};
  PutFrameRaw(bytes, 0, 0, 200, 200, 0x87, 8, EncodeWithoutClear(pixels));
  bytes.insert(bytes.begin() + 23, 768, 0);  // the local table, all black
  bytes.push_back(0x3B);
  GifGraphic gif;
  LoadBytes(gif, bytes);
  EXPECT_EQ(gif.Images()[0].pixels, pixels);
}

TEST(GifLzw, EncodeThenDecodeGivesThePixelsBack) {
  std::mt19937 random(99);
  for (int code_size = 2; code_size <= 8; ++code_size) {
    for (int pattern = 0; pattern < 3; ++pattern) {
      // Noise fills the table fast (clear codes); runs make long strings; a ramp is in between.
      std::vector<uint8_t> pixels(70000 + random() % 1000);
      const uint32_t colors = 1u << code_size;
      for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(pattern == 0   ? random() % colors
                                         : pattern == 1 ? (i / 300) % colors
                                                        : (i * 7 / 5) % colors);
      }
      std::vector<uint8_t> coded;
      EncodeGifLzw(pixels.data(), pixels.size(), code_size, coded);
      std::vector<uint8_t> lzw;
      for (size_t i = 0; i < coded.size() && coded[i] != 0;) {
        const size_t n = coded[i++];
        ASSERT_TRUE(n == 255 || coded[i + n] == 0) << "only the last sub-block may be short";
        lzw.insert(lzw.end(), coded.begin() + i, coded.begin() + i + n);
        i += n;
      }
      std::vector<uint8_t> decoded;
      DecodeGifLzw(
          lzw.data(), lzw.size(), code_size, 100, static_cast<uint32_t>(pixels.size() / 100),
          [&](uint32_t, const uint8_t* row) { decoded.insert(decoded.end(), row, row + 100); });
      pixels.resize(decoded.size());
      EXPECT_EQ(decoded, pixels) << "code size " << code_size << ", pattern " << pattern;
    }
  }
}

TEST(GifReader, DamagedFilesNeverCrashOrHang) {
  REQUIRE_SHARED_SAMPLES();
  const char* samples[] = {"gif/irs_interlaced.gif", "gif/pil_hopper.gif",
                           "gif/gsu_animated_transparent_loop.gif"};
  std::mt19937 random(4321);
  for (const char* name : samples) {
    const auto original = test::ReadBytes(test::SharedPath(std::string("testimages/") + name));
    ASSERT_FALSE(original.empty()) << name;
    for (size_t cut = 0; cut < original.size(); cut += 1 + cut / 64) {
      const std::vector<uint8_t> prefix(original.begin(), original.begin() + cut);
      GifGraphic gif;
      try {
        LoadBytes(gif, prefix);
        DrawOnto(gif);
      } catch (const InvalidImageError&) {
      }
    }
    for (int round = 0; round < 300; ++round) {
      auto bytes = original;
      for (int k = 0; k < 1 + round % 4; ++k)
        bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
      GifGraphic gif;
      try {
        LoadBytes(gif, bytes);
        DrawOnto(gif);
      } catch (const InvalidImageError&) {
      }
    }
  }
}

}  // namespace
}  // namespace tessane
