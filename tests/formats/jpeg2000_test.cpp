// JPEG 2000: the public samples against their references, the two signatures and the messages,
// and the JP2 writer: its boxes, the coding parameters in the codestream, the rate, and a
// lossless round trip.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/errors.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/reference_pixels.h"
#include "support/byte_builder.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Pixels;

uint32_t BE32(const std::vector<uint8_t>& b, size_t at) {
  return (static_cast<uint32_t>(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}
uint16_t BE16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
  Jpeg2000Graphic bitmap;
  ReadOnlyMemoryStream in(bytes.data(), bytes.size());
  try {
    bitmap.LoadFromStream(in);
  } catch (const Jpeg2000Error& e) {
    return e.what();
  }
  return "loaded";
}

TEST(Jpeg2000Samples, DecodeLikeTheReferences) {
  REQUIRE_SHARED_SAMPLES();
  int compared = 0;
  for (const test::ManifestRow& row : test::RowsOf("jpeg2000")) {
    SCOPED_TRACE(row.file);
    Jpeg2000Graphic bitmap;
    std::string error;
    try {
      bitmap.LoadFromFile(test::SharedPath("testimages/" + row.file));
    } catch (const Jpeg2000Error& e) {
      error = e.what();
    }
    if (row.expected == "must fail cleanly" || !error.empty()) {
      EXPECT_NE(row.expected, "loads") << error;
      EXPECT_EQ(error, "JPEG 2000 image decoding failed");
      continue;
    }
    if (!test::HasReference(row)) continue;
    // References are 8-bit: samples of other precisions are rounded, not cut. YCbCr files go
    // through a colour conversion whose rounding differs by a level between decoders.
    const int tolerance = row.exercises.find("YCbCr") != std::string::npos ? 2 : 1;
    const Pixels reference = test::LoadReference(test::SharedPath("testimages/" + row.reference));
    const bool alpha = bitmap.PixelFormat() == DibFormat::k32Bit;
    const test::Difference d = test::Compare(test::FromBitmap(bitmap), reference, alpha);
    EXPECT_GE(d.max, 0);
    EXPECT_LE(d.max, tolerance) << "at " << d.x << "," << d.y;
    ++compared;
  }
  EXPECT_GT(compared, 15);
}

TEST(Jpeg2000, ComponentCountDecidesThePixelFormat) {
  REQUIRE_SHARED_SAMPLES();
  const struct {
    const char* file;
    DibFormat format;
  } cases[] = {
      {"jpeg2000/ojd_p0_01.j2k", DibFormat::k8Bit},
      {"jpeg2000/ojd_basn4a08.jp2", DibFormat::k8Bit},  // grey and alpha: first only
      {"jpeg2000/ojd_p0_14.j2k", DibFormat::k24Bit},
      {"jpeg2000/ojd_basn6a08.jp2", DibFormat::k32Bit},
  };
  for (const auto& c : cases) {
    Jpeg2000Graphic bitmap;
    bitmap.LoadFromFile(test::SharedPath(std::string("testimages/") + c.file));
    EXPECT_EQ(bitmap.PixelFormat(), c.format) << c.file;
    if (c.format == DibFormat::k8Bit) {
      ASSERT_EQ(bitmap.Palette().size(), 256u);
      EXPECT_EQ(bitmap.Palette()[200], PaletteColor(200, 200, 200));
    }
  }
}

TEST(Jpeg2000, SignaturesAndMessages) {
  EXPECT_EQ(LoadError({}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(LoadError({0xFF, 0x4F, 0xFF}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(LoadError({0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(LoadError({'G', 'I', 'F', '8', '9', 'a', 0, 0}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(LoadError({0xFF, 0x4F, 0xFF, 0x51, 0, 0}), "JPEG 2000 image decoding failed");
  EXPECT_EQ(LoadError({0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A}),
            "JPEG 2000 image decoding failed");
}

// One-pixel tiles times hundreds of components: the library would set up gigabytes of per-tile
// state before reading any data. Such a header is refused first.
TEST(Jpeg2000, RefusesTilingThatWouldExhaustMemory) {
  auto codestream = [](uint32_t width, uint32_t tile, uint16_t components) {
    test::ByteBuilder b;
    b.Append({0xFF, 0x4F, 0xFF, 0x51});
    b.U16Be(38 + 3u * components).U16Be(0);
    for (uint32_t v : {width, 1u, 0u, 0u, tile, tile, 0u, 0u}) b.U32Be(v);
    b.U16Be(components);
    for (uint16_t c = 0; c < components; ++c) b.Append({7, 1, 1});
    b.Append({0xFF, 0x52, 0, 12, 0, 0, 0, 1, 0, 1, 4, 4, 0, 1});        // COD
    b.Append({0xFF, 0x5C, 0, 7, 0x40, 0x40, 0x48, 0x48, 0x50});         // QCD
    b.Append({0xFF, 0x90, 0, 10, 0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0x93});  // SOT, SOD
    b.Append({0xFF, 0xD9});
    return b.data;
  };
  EXPECT_EQ(LoadError(codestream(65281, 1, 257)), "JPEG 2000 image decoding failed");
  // The same header inside a JP2 file.
  std::vector<uint8_t> jp2 = {0,   0,   0,   12,  'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0,
                              0,   20,  'f', 't', 'y', 'p', 'j', 'p', '2',  ' ',  0,    0,    0, 0,
                              'j', 'p', '2', ' ', 0,   0,   0,   0,   'j',  'p',  '2',  'c'};
  const std::vector<uint8_t> inner = codestream(65281, 1, 257);
  jp2.insert(jp2.end(), inner.begin(), inner.end());
  EXPECT_EQ(LoadError(jp2), "JPEG 2000 image decoding failed");
}

TEST(Jpeg2000, FailedLoadKeepsThePicture) {
  Jpeg2000Graphic bitmap;
  bitmap.SetSize(3, 2);
  const std::vector<uint8_t> broken = {0xFF, 0x4F, 0xFF, 0x51, 0, 0};
  ReadOnlyMemoryStream in(broken.data(), broken.size());
  EXPECT_THROW(bitmap.LoadFromStream(in), Jpeg2000Error);
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.Height(), 2);
}

TEST(Jpeg2000RateFor, FiguresInSinglePrecision) {
  const Jpeg2000Rate big = Jpeg2000RateFor(90, 4, 800, 600);
  EXPECT_EQ(big.target_bytes, 308176.0f);
  EXPECT_NEAR(big.rate, 6.23, 0.005);
  const Jpeg2000Rate small = Jpeg2000RateFor(90, 4, 320, 240);
  EXPECT_EQ(small.target_bytes, 50128.0f);
  EXPECT_NEAR(small.rate, 6.13, 0.005);
  // The class default, quality 80: 100 / 35^2 bytes per sample.
  const Jpeg2000Rate byDefault = Jpeg2000RateFor(80, 3, 100, 100);
  EXPECT_NEAR((byDefault.target_bytes - 550 - 284) / 30000.0f, 0.0816, 0.0001);
  // Qualities above 100 are taken as 100 instead of dividing by zero at 115.
  EXPECT_TRUE(std::isfinite(Jpeg2000RateFor(115, 3, 10, 10).rate));
}

DibImage Noise(DibFormat format, int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(format);
  b.SetSize(w, h);
  uint32_t state = 12345;
  for (int32_t y = 0; y < h; ++y)
    for (size_t i = 0; i < b.RowBytes(); ++i) {
      state = state * 1103515245u + 12345u;
      b.ScanLine(y)[i] = static_cast<uint8_t>(state >> 16);
    }
  if (format == DibFormat::k8Bit) {
    std::vector<PaletteEntry> palette;
    for (int i = 0; i < 256; ++i)
      palette.push_back(PaletteColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i / 2),
                                     static_cast<uint8_t>(255 - i)));
    b.SetPalette(palette);
  }
  return b;
}

std::vector<uint8_t> Save(const DibImage& source, bool lossless, uint8_t quality = 90) {
  Jpeg2000Graphic jp2;
  jp2.Assign(source);
  jp2.SetLossless(lossless);
  jp2.SetQuality(quality);
  MemoryStream out;
  jp2.SaveToStream(out);
  return out.Bytes();
}

struct Box {
  std::string type;
  size_t content;  // offset of the content
  size_t length;   // of the content
};

std::vector<Box> Boxes(const std::vector<uint8_t>& f, size_t begin, size_t end) {
  std::vector<Box> boxes;
  for (size_t at = begin; at + 8 <= end;) {
    const uint32_t length = BE32(f, at);
    if (length < 8 || at + length > end) break;
    boxes.push_back({std::string(f.begin() + at + 4, f.begin() + at + 8), at + 8, length - 8u});
    at += length;
  }
  return boxes;
}

TEST(Jpeg2000Writer, WritesTheJp2Boxes) {
  const struct {
    DibFormat format;
    int components;
  } cases[] = {{DibFormat::k32Bit, 4}, {DibFormat::k24Bit, 3}, {DibFormat::k8Bit, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.components);
    const std::vector<uint8_t> f = Save(Noise(c.format, 7, 5), false);
    const std::vector<Box> top = Boxes(f, 0, f.size());
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0].type, "jP  ");
    EXPECT_EQ(BE32(f, top[0].content), 0x0D0A870Au);
    EXPECT_EQ(top[1].type, "ftyp");
    EXPECT_EQ(std::string(f.begin() + top[1].content, f.begin() + top[1].content + 12),
              std::string("jp2 \0\0\0\0jp2 ", 12));
    EXPECT_EQ(top[2].type, "jp2h");
    EXPECT_EQ(top[3].type, "jp2c");
    EXPECT_EQ(top[3].content + top[3].length, f.size());

    const std::vector<Box> header = Boxes(f, top[2].content, top[2].content + top[2].length);
    ASSERT_EQ(header.size(), 3u);
    EXPECT_EQ(header[0].type, "ihdr");
    const size_t ihdr = header[0].content;
    EXPECT_EQ(BE32(f, ihdr), 5u);      // height first
    EXPECT_EQ(BE32(f, ihdr + 4), 7u);  // then width
    EXPECT_EQ(BE16(f, ihdr + 8), c.components);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + ihdr + 10, f.begin() + ihdr + 14),
              (std::vector<uint8_t>{7, 7, 0, 0}));
    EXPECT_EQ(header[1].type, "colr");
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + header[1].content,
                                   f.begin() + header[1].content + header[1].length),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 16}));
    EXPECT_EQ(header[2].type, "cdef");
    std::vector<uint16_t> cdef;
    for (size_t i = 0; i < header[2].length; i += 2) cdef.push_back(BE16(f, header[2].content + i));
    std::vector<uint16_t> expected = {
        static_cast<uint16_t>(c.components), 0, 0, 1, 1, 0, 2, 2, 0, 3};
    if (c.components == 4) expected.insert(expected.end(), {3, 1, 0});
    EXPECT_EQ(cdef, expected);
    EXPECT_EQ(BE32(f, top[3].content), 0xFF4FFF51u);
  }
}

// Marker segments of the codestream's main header, by marker.
std::map<uint16_t, std::vector<uint8_t>> MainHeader(const std::vector<uint8_t>& f, size_t at) {
  std::map<uint16_t, std::vector<uint8_t>> segments;
  at += 2;  // SOC
  while (at + 4 <= f.size()) {
    const uint16_t marker = BE16(f, at), length = BE16(f, at + 2);
    if (marker == 0xFF90) break;  // first tile-part
    segments[marker] = std::vector<uint8_t>(f.begin() + at + 4, f.begin() + at + 2 + length);
    at += 2 + length;
  }
  return segments;
}

TEST(Jpeg2000Writer, CodestreamCarriesTheCodingParameters) {
  const std::vector<uint8_t> f = Save(Noise(DibFormat::k24Bit, 70, 50), false);
  const std::vector<Box> top = Boxes(f, 0, f.size());
  ASSERT_EQ(top.size(), 4u);
  const auto segments = MainHeader(f, top[3].content);
  ASSERT_TRUE(segments.count(0xFF51));
  ASSERT_TRUE(segments.count(0xFF52));
  const std::vector<uint8_t>& siz = segments.at(0xFF51);
  // One tile covering the image; three 8-bit unsigned components, not subsampled.
  EXPECT_EQ(BE32(siz, 2), 70u);
  EXPECT_EQ(BE32(siz, 6), 50u);
  EXPECT_EQ(BE32(siz, 18), 70u);
  EXPECT_EQ(BE32(siz, 22), 50u);
  EXPECT_EQ(BE16(siz, 34), 3u);
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(std::vector<uint8_t>(siz.begin() + 36 + 3 * c, siz.begin() + 39 + 3 * c),
              (std::vector<uint8_t>{7, 1, 1}));
  const std::vector<uint8_t>& cod = segments.at(0xFF52);
  EXPECT_EQ(cod[0], 0);         // no precincts, no SOP, no EPH
  EXPECT_EQ(cod[1], 0);         // LRCP
  EXPECT_EQ(BE16(cod, 2), 1u);  // one layer
  EXPECT_EQ(cod[4], 0);         // no multiple-component transform
  EXPECT_EQ(cod[5], 5);         // five decomposition levels
  EXPECT_EQ(cod[6], 4);         // code-blocks 64 wide
  EXPECT_EQ(cod[7], 4);         // and 64 high
  EXPECT_EQ(cod[8], 0);         // no code-block style options
  EXPECT_EQ(cod[9], 1);         // reversible 5/3
  EXPECT_EQ(cod.size(), 10u);
  EXPECT_FALSE(segments.count(0xFF5E));  // no region of interest
}

// Pictures with a side below 32 pixels cannot have five decomposition levels; they get as many
// as their size allows instead of failing to save.
TEST(Jpeg2000Writer, SmallPicturesGetFewerDecompositionLevels) {
  const struct {
    int32_t width, height;
    uint8_t levels;
  } cases[] = {{32, 900, 5}, {31, 31, 4}, {20, 40, 4}, {7, 5, 2}, {1, 1, 0}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> f = Save(Noise(DibFormat::k24Bit, c.width, c.height), false);
    ASSERT_FALSE(f.empty());
    const auto segments = MainHeader(f, Boxes(f, 0, f.size()).back().content);
    ASSERT_TRUE(segments.count(0xFF52));
    EXPECT_EQ(segments.at(0xFF52)[5], c.levels) << c.width << " x " << c.height;
  }
}

// Noise does not compress: the lossy codestream is cut to the budget, the lossless one is not.
TEST(Jpeg2000Writer, RateLimitsTheLossyCodestream) {
  const DibImage noise = Noise(DibFormat::k32Bit, 160, 120);
  const std::vector<uint8_t> lossy = Save(noise, false, 90);
  const std::vector<uint8_t> lossless = Save(noise, true);
  const float budget = Jpeg2000RateFor(90, 4, 160, 120).target_bytes;
  const size_t lossyStream = Boxes(lossy, 0, lossy.size()).back().length;
  EXPECT_LE(lossyStream, static_cast<size_t>(budget));
  EXPECT_GT(lossyStream, static_cast<size_t>(budget * 0.8f));
  EXPECT_GT(lossless.size(), 160u * 120u * 4u);
}

TEST(Jpeg2000Writer, LosslessRoundTrip) {
  for (DibFormat format : {DibFormat::k32Bit, DibFormat::k24Bit}) {
    const DibImage original = Noise(format, 33, 21);
    const std::vector<uint8_t> f = Save(original, true);
    Jpeg2000Graphic back;
    ReadOnlyMemoryStream in(f.data(), f.size());
    back.LoadFromStream(in);
    EXPECT_EQ(back.PixelFormat(), format);
    const test::Difference d =
        test::Compare(test::FromBitmap(back), test::FromBitmap(original), true);
    EXPECT_EQ(d.max, 0) << BitsPerPixel(format) << " bits at " << d.x << "," << d.y;
  }
}

TEST(Jpeg2000Writer, EmptyBitmapWritesNothing) {
  EXPECT_TRUE(Save(DibImage(), false).empty());
}

}  // namespace
}  // namespace tessane
