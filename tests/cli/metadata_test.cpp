// Metadata segments: reading them from JPEG files, preparing EXIF for a resized output and
// splicing everything into encoded JPEG and PNG bytes.

#include "formats/metadata/metadata.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "base/stream.h"
#include "cli/exif_fixture.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/png/png_graphic.h"
#include "raster/orientation.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::BuildExif;
using test::Bytes;
using test::IccChunk;
using test::Segment;
using test::Text;
using test::XmpPayload;

uint32_t LE32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t LE16(const Bytes& b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}

Bytes EncodedJpeg() {
  DibImage b;
  b.SetSize(16, 8);
  JpegGraphic jpeg;
  jpeg.Assign(b);
  MemoryStream out;
  jpeg.SaveToStream(out);
  return out.TakeBytes();
}

// SOI, APP0, APP1 Exif, APP1 XMP, APP13 (not metadata we carry), APP2 ICC 2/2 then 1/2, a second
// Exif APP1 (ignored), DQT-like filler, SOS and scan bytes that hold an APP1 look-alike.
Bytes JpegWithMetadata() {
  Bytes j = {0xFF, 0xD8};
  auto add = [&](const Bytes& s) { j.insert(j.end(), s.begin(), s.end()); };
  add(Segment(0xE0, Text("JFIF\0\1\1\0\0\1\0\1\0\0", 14)));
  add(Segment(0xE1, BuildExif(false, 6)));
  add(Segment(0xE1, XmpPayload("<x:xmpmeta/>")));
  add(Segment(0xED, Text("Photoshop 3.0\0", 14)));
  add(Segment(0xE2, IccChunk(2, 2, "world")));
  add(Segment(0xE2, IccChunk(1, 2, "hello ")));
  add(Segment(0xE1, BuildExif(false, 3)));
  add(Segment(0xDB, Bytes(65, 0)));
  add(Segment(0xDA, Bytes(10, 0)));
  add({0x12, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xD9});
  return j;
}

TEST(Metadata, JpegScanCollectsExifXmpAndIccUpToTheScan) {
  const Bytes file = JpegWithMetadata();
  ReadOnlyMemoryStream stream(file.data(), file.size());
  const SourceMetadata m = ReadJpegMetadata(stream);
  EXPECT_EQ(m.exif, BuildExif(false, 6));  // the first one
  ASSERT_EQ(m.xmp.size(), 1u);
  EXPECT_EQ(m.xmp[0], XmpPayload("<x:xmpmeta/>"));
  ASSERT_EQ(m.icc.size(), 2u);
  EXPECT_EQ(AssembleIccProfile(m.icc), Text("hello world", 11));
  EXPECT_EQ(ExifOrientation(m.exif), 6);
}

TEST(Metadata, BrokenInputNeverThrowsAndReadsNothingOutsideTheData) {
  // Every cut of a file with every kind of segment, and every cut of an EXIF payload.
  const Bytes file = JpegWithMetadata();
  for (size_t n = 0; n <= file.size(); ++n) {
    ReadOnlyMemoryStream stream(file.data(), n);
    const SourceMetadata m = ReadJpegMetadata(stream);
    for (const Bytes& icc : m.icc) EXPECT_LE(icc.size(), n);
  }
  for (bool big : {false, true}) {
    const Bytes exif = BuildExif(big, 8);
    for (size_t n = 0; n <= exif.size(); ++n) {
      const Bytes cut(exif.begin(), exif.begin() + static_cast<std::ptrdiff_t>(n));
      const int orientation = ExifOrientation(cut);
      EXPECT_TRUE(orientation == 0 || orientation == 8);
      EXPECT_LE(PrepareExifForOutput(cut, true, 10, 10).size(), n);
    }
  }
  // Hostile values: an IFD count far beyond the data, IFD offsets past the end or into the header,
  // a thumbnail pointer past the end, a segment length below 2.
  Bytes exif = BuildExif(false, 6);
  Bytes huge = exif;
  huge[6 + 8] = huge[6 + 9] = 0xFF;
  Bytes past = exif;
  past[6 + 4] = 0xF0;
  Bytes header = exif;
  header[6 + 4] = 2;
  Bytes thumb = exif;
  thumb[6 + 34] = 0xFF, thumb[6 + 35] = 0xFF;
  for (const Bytes& bad : {huge, past, header, thumb}) {
    EXPECT_EQ(ExifOrientation(bad), 0 + (bad == thumb ? 6 : 0));
    EXPECT_LE(PrepareExifForOutput(bad, true, 1, 1).size(), bad.size());
  }
  const Bytes shortLength = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xD9};
  ReadOnlyMemoryStream stream(shortLength.data(), shortLength.size());
  EXPECT_TRUE(ReadJpegMetadata(stream).Empty());
}

TEST(Metadata, ExifForOutputDropsTheThumbnailResetsOrientationAndSetsSizes) {
  const Bytes source = BuildExif(false, 6);
  const Bytes reset = PrepareExifForOutput(source, true, 320, 240);
  EXPECT_EQ(LE16(reset, 6 + 18), 1);     // orientation
  EXPECT_EQ(LE32(reset, 6 + 34), 0u);    // IFD0's link to the thumbnail's IFD
  EXPECT_EQ(LE32(reset, 6 + 48), 320u);  // PixelXDimension (LONG)
  EXPECT_EQ(LE16(reset, 6 + 60), 240);   // PixelYDimension (SHORT)
  EXPECT_EQ(reset.size(), 6u + 68);      // IFD1 and the thumbnail were the tail
  EXPECT_EQ(ExifOrientation(reset), 1);

  const Bytes kept = PrepareExifForOutput(source, false, 320, 240);
  EXPECT_EQ(ExifOrientation(kept), 6);
  EXPECT_EQ(kept.size(), 6u + 68);

  // Big-endian data is edited in its own byte order.
  const Bytes big = PrepareExifForOutput(BuildExif(true, 5), true, 70000, 2);
  EXPECT_EQ(ExifOrientation(big), 1);
  EXPECT_EQ(big[6 + 48], 0x00);
  EXPECT_EQ(big[6 + 50] << 8 | big[6 + 51], 70000 & 0xFFFF);
  EXPECT_EQ(big[6 + 60] << 8 | big[6 + 61], 2);

  // What cannot be parsed goes through unchanged.
  const Bytes opaque = Text("Exif\0\0XX*\0garbage", 17);
  EXPECT_EQ(PrepareExifForOutput(opaque, true, 1, 1), opaque);
}

TEST(Metadata, IccChunksAreAssembledOnlyWhenComplete) {
  EXPECT_EQ(AssembleIccProfile({IccChunk(1, 1, "abc")}), Text("abc", 3));
  const std::vector<std::vector<Bytes>> broken = {
      {IccChunk(1, 2, "a")},                       // one missing
      {IccChunk(1, 2, "a"), IccChunk(1, 2, "b")},  // sequence twice
      {IccChunk(0, 1, "a")},                       // sequence 0
      {IccChunk(1, 1, "a"), IccChunk(2, 2, "b")},  // counts disagree
      {Text("ICC_PROFILE\0\1", 13)},               // no room for the count
  };
  for (const auto& chunks : broken) EXPECT_TRUE(AssembleIccProfile(chunks).empty());
}

TEST(Metadata, JpegSpliceGoesAfterJfifAndRoundTrips) {
  SourceMetadata m;
  m.exif = BuildExif(false, 6);
  m.xmp = {XmpPayload("<x/>")};
  m.icc = {IccChunk(1, 1, "profile")};
  const Bytes encoded = EncodedJpeg();
  ASSERT_EQ(encoded[3], 0xE0);
  const size_t app0End = 4 + (encoded[4] << 8 | encoded[5]);
  const Bytes spliced = SpliceJpegMetadata(encoded, m.exif, m);
  ASSERT_GT(spliced.size(), encoded.size());
  EXPECT_TRUE(std::equal(encoded.begin(), encoded.begin() + app0End, spliced.begin()));
  EXPECT_EQ(spliced[app0End + 1], 0xE1);
  EXPECT_TRUE(std::equal(encoded.begin() + app0End, encoded.end(),
                         spliced.end() - static_cast<std::ptrdiff_t>(encoded.size() - app0End)));
  ReadOnlyMemoryStream stream(spliced.data(), spliced.size());
  const SourceMetadata back = ReadJpegMetadata(stream);
  EXPECT_EQ(back.exif, m.exif);
  EXPECT_EQ(back.xmp, m.xmp);
  EXPECT_EQ(back.icc, m.icc);
  // Our reader still decodes the result.
  JpegGraphic jpeg;
  ReadOnlyMemoryStream again(spliced.data(), spliced.size());
  jpeg.LoadFromStream(again);
  EXPECT_EQ(jpeg.Width(), 16);
}

TEST(Metadata, PngSpliceAddsValidChunksAfterIhdr) {
  DibImage b;
  b.SetSize(3, 2);
  PngGraphic png;
  png.Assign(b);
  MemoryStream encodedStream;
  png.SaveToStream(encodedStream);
  const Bytes encoded = encodedStream.TakeBytes();

  SourceMetadata m;
  m.exif = BuildExif(true, 6);
  m.xmp = {XmpPayload("<x/>")};
  const std::string profileText(300, 'p');
  m.icc = {IccChunk(1, 1, profileText)};
  const Bytes spliced = SplicePngMetadata(encoded, m.exif, m);

  // Walk the chunks, checking every CRC, and collect names.
  std::vector<std::string> names;
  Bytes iccp, exif;
  for (size_t at = 8; at + 12 <= spliced.size();) {
    const uint32_t length = uint32_t(spliced[at]) << 24 | spliced[at + 1] << 16 |
                            spliced[at + 2] << 8 | spliced[at + 3];
    ASSERT_LE(at + 12 + length, spliced.size());
    const std::string name(spliced.begin() + at + 4, spliced.begin() + at + 8);
    const uLong crc = crc32(0, spliced.data() + at + 4, 4 + length);
    const size_t crcAt = at + 8 + length;
    EXPECT_EQ(crc, uLong(uint32_t(spliced[crcAt]) << 24 | spliced[crcAt + 1] << 16 |
                         spliced[crcAt + 2] << 8 | spliced[crcAt + 3]))
        << name;
    const Bytes data(spliced.begin() + at + 8, spliced.begin() + crcAt);
    if (name == "iCCP") iccp = data;
    if (name == "eXIf") exif = data;
    names.push_back(name);
    at = crcAt + 4;
  }
  ASSERT_GE(names.size(), 6u);
  EXPECT_EQ((std::vector<std::string>(names.begin(), names.begin() + 4)),
            (std::vector<std::string>{"IHDR", "iCCP", "eXIf", "iTXt"}));
  EXPECT_EQ(names.back(), "IEND");

  // iCCP: name, NUL, method 0, then a zlib stream of the profile.
  const size_t nul = std::find(iccp.begin(), iccp.end(), 0) - iccp.begin();
  ASSERT_GT(nul, 0u);
  ASSERT_LT(nul + 2, iccp.size());
  EXPECT_EQ(iccp[nul + 1], 0);
  Bytes profile(1000);
  uLongf profileSize = profile.size();
  ASSERT_EQ(uncompress(profile.data(), &profileSize, iccp.data() + nul + 2, iccp.size() - nul - 2),
            Z_OK);
  EXPECT_EQ(std::string(profile.begin(), profile.begin() + profileSize), profileText);
  EXPECT_EQ(exif, Bytes(m.exif.begin() + 6, m.exif.end()));

  // Our own reader still loads it.
  PngGraphic back;
  ReadOnlyMemoryStream stream(spliced.data(), spliced.size());
  back.LoadFromStream(stream);
  EXPECT_EQ(back.Width(), 3);
}

TEST(Metadata, TiffFileOrientationReadsOnlyTheFirstIfd) {
  // A TIFF header and IFD0 {Orientation} far into the file, in both byte orders; cut files and
  // an IFD count beyond the end read as unknown.
  for (bool big : {false, true}) {
    Bytes exif = BuildExif(big, 7, false);
    const Bytes tiff(exif.begin() + 6, exif.end());
    ReadOnlyMemoryStream stream(tiff.data(), tiff.size());
    EXPECT_EQ(TiffFileOrientation(stream), 7);
    for (size_t n = 0; n < 8 + 2 + 12; ++n) {
      ReadOnlyMemoryStream cut(tiff.data(), n);
      EXPECT_EQ(TiffFileOrientation(cut), 0) << n;
    }
  }
}

TEST(Orientation, EveryValueMapsTheStoredCornersWhereItSays) {
  // Stored 3 x 2: a b c / d e f. Each row: the upright picture, row by row.
  struct Case {
    int orientation;
    int32_t width, height;
    const char* upright;
  };
  const Case cases[] = {
      {1, 3, 2, "abcdef"}, {2, 3, 2, "cbafed"}, {3, 3, 2, "fedcba"}, {4, 3, 2, "defabc"},
      {5, 2, 3, "adbecf"}, {6, 2, 3, "daebfc"}, {7, 2, 3, "fcebda"}, {8, 2, 3, "cfbead"},
      {0, 3, 2, "abcdef"}, {9, 3, 2, "abcdef"},
  };
  for (const Case& c : cases) {
    ArgbImage b;
    b.Resize(3, 2);
    for (int i = 0; i < 6; ++i) b.Bits()[i] = static_cast<Argb32>('a' + i);
    OrientBitmap(b, c.orientation);
    ASSERT_EQ(b.Width(), c.width) << c.orientation;
    ASSERT_EQ(b.Height(), c.height);
    std::string got;
    for (int i = 0; i < 6; ++i) got += static_cast<char>(b.Bits()[i]);
    EXPECT_EQ(got, c.upright) << "orientation " << c.orientation;
  }
}

TEST(Metadata, SharedJpegSamplesScanWithoutHarm) {
  REQUIRE_SHARED_SAMPLES();
  for (const test::ManifestRow& row : test::ReadManifest()) {
    if (row.format != "jpeg") continue;
    const Bytes file = test::ReadBytes(test::SharedPath("testimages/" + row.file));
    ReadOnlyMemoryStream stream(file.data(), file.size());
    const SourceMetadata m = ReadJpegMetadata(stream);
    const Bytes exif = PrepareExifForOutput(m.exif, true, 10, 10);
    SplicePngMetadata(SpliceJpegMetadata(file, exif, m), exif, m);
  }
  const Bytes hopper =
      test::ReadBytes(test::SharedPath("testimages/jpeg/pil_hopper_orientation_6.jpg"));
  ReadOnlyMemoryStream stream(hopper.data(), hopper.size());
  EXPECT_EQ(ExifOrientation(ReadJpegMetadata(stream).exif), 6);
}

}  // namespace
}  // namespace tessane
