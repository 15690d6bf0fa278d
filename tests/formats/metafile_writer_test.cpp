// The metafile writer: header fields, the drawn bitmap read back, sizes that survive a round trip.

#include <gtest/gtest.h>

#include "base/byte_view.h"
#include "base/errors.h"
#include "formats/bmp/dib_image.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/metafile/metafile_writer.h"
#include "formats/metafile_test_builder.h"

namespace tessane::test {
namespace {

std::vector<uint8_t> Write(const DibImage* bitmap, int32_t width, int32_t height, bool enhanced) {
  MemoryStream out;
  WriteMetafile(bitmap, width, height, enhanced, out);
  return out.Bytes();
}

// A bitmap whose every pixel differs, with varied fourth bytes when it has 32 bits.
DibImage Pattern(int32_t width, int32_t height, DibFormat format) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k32Bit);
  b.SetSize(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = b.ScanLine(y) + x * 4;
      p[0] = static_cast<uint8_t>(x * 37 + y);
      p[1] = static_cast<uint8_t>(y * 53 + 7);
      p[2] = static_cast<uint8_t>(x * y + 100);
      p[3] = static_cast<uint8_t>(x * 50);
    }
  b.SetPixelFormat(format);
  return b;
}

TEST(MetafileWriter, EnhancedHeaderDescribesFrameDeviceAndRecords) {
  const DibImage bitmap = Pattern(100, 50, DibFormat::k32Bit);
  struct Case {
    const DibImage* bitmap;
    int32_t width, height;
    int32_t frame[4], bounds[4];
    uint32_t records;
  } cases[] = {
      {&bitmap, 100, 50, {0, 0, 2646, 1324}, {0, 0, 99, 49}, 3},
      {nullptr, 100, 50, {0, 0, 2646, 1324}, {0, 0, -1, -1}, 2},
      {nullptr, 0, 0, {0, 0, 50800, 28600}, {0, 0, -1, -1}, 2},  // the whole screen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.records);
    const std::vector<uint8_t> bytes = Write(c.bitmap, c.width, c.height, true);
    const ByteView h(bytes.data(), bytes.size());
    EXPECT_EQ(h.U32(0), 1u);
    EXPECT_EQ(h.U32(4), 108u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(h.I32(8 + i * 4), c.bounds[i]);
      EXPECT_EQ(h.I32(24 + i * 4), c.frame[i]);
    }
    EXPECT_EQ(h.U32(40), 0x464D4520u);
    EXPECT_EQ(h.U32(44), 0x10000u);
    EXPECT_EQ(h.U32(48), bytes.size());
    EXPECT_EQ(h.U32(52), c.records);
    EXPECT_EQ(h.U16(56), 1u);
    EXPECT_EQ(h.I32(72), 1920);
    EXPECT_EQ(h.I32(76), 1080);
    EXPECT_EQ(h.I32(80), 508);
    EXPECT_EQ(h.I32(84), 286);
    // The records chain to EMR_EOF exactly at the end.
    size_t at = 0, count = 0;
    uint32_t last = 0;
    while (at < bytes.size()) {
      last = h.U32(at);
      at += h.U32(at + 4);
      ++count;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(count, c.records);
    EXPECT_EQ(last, 14u);
  }
}

TEST(MetafileWriter, PlaceableHeaderAndWindowsHeader) {
  const DibImage bitmap = Pattern(100, 50, DibFormat::k32Bit);
  for (const DibImage* b : {&bitmap, static_cast<const DibImage*>(nullptr)}) {
    const std::vector<uint8_t> bytes = Write(b, 100, 50, false);
    const ByteView h(bytes.data(), bytes.size());
    EXPECT_EQ(h.U32(0), 0x9AC6CDD7u);
    EXPECT_EQ(h.U16(4), 0u);
    EXPECT_EQ(h.I16(6), 0);
    EXPECT_EQ(h.I16(8), 0);
    EXPECT_EQ(h.I16(10), 100);  // MulDiv(2646, 96, 2540)
    EXPECT_EQ(h.I16(12), 50);   // MulDiv(1324, 96, 2540)
    EXPECT_EQ(h.U16(14), 96u);
    EXPECT_EQ(h.U32(16), 0u);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= h.U16(i);
    EXPECT_EQ(h.U16(20), sum);
    // Type, header words, version, size in words, objects, largest record, members.
    EXPECT_EQ(h.U16(22), 1u);
    EXPECT_EQ(h.U16(24), 9u);
    EXPECT_EQ(h.U16(26), 0x300u);
    EXPECT_EQ(uint64_t{h.U32(28)} * 2, bytes.size() - 22);
    size_t at = 40;
    uint32_t largest = 0, function = 1;
    while (at < bytes.size()) {
      largest = std::max(largest, h.U32(at));
      function = h.U16(at + 4);
      at += size_t{h.U32(at)} * 2;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(function, 0u);
    EXPECT_EQ(h.U32(34), largest);
  }
}

TEST(MetafileWriter, DrawnBitmapPlaysBackExactly) {
  struct Case {
    bool enhanced;
    DibFormat format;
    int32_t width, height;
  } cases[] = {
      {true, DibFormat::k32Bit, 7, 5},    {true, DibFormat::k24Bit, 33, 17},
      {true, DibFormat::k32Bit, 300, 2},  {false, DibFormat::k32Bit, 7, 5},
      {false, DibFormat::k24Bit, 33, 17}, {false, DibFormat::k32Bit, 301, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.enhanced ? "emf " : "wmf ") << c.width << "x" << c.height);
    const DibImage bitmap = Pattern(c.width, c.height, c.format);
    const MetafileGraphic m = Load(Write(&bitmap, c.width, c.height, c.enhanced));
    EXPECT_EQ(m.Enhanced(), c.enhanced);
    ASSERT_EQ(m.Width(), c.width);
    ASSERT_EQ(m.Height(), c.height);
    const Canvas canvas = Play(Write(&bitmap, c.width, c.height, c.enhanced), 0);
    std::vector<uint32_t> row(static_cast<size_t>(c.width));
    int wrong = 0;
    for (int32_t y = 0; y < c.height; ++y) {
      bitmap.ToColor32Row(y, row.data());
      // Plain bitmap copies are opaque whatever the fourth byte held.
      for (int32_t x = 0; x < c.width; ++x)
        wrong += canvas.At(x, y) != (row[static_cast<size_t>(x)] | 0xFF000000u);
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(MetafileWriter, EmptyBitmapGivesAPictureOfTheSizeWithNothingDrawn) {
  for (bool enhanced : {true, false}) {
    const std::vector<uint8_t> bytes = Write(nullptr, 40, 30, enhanced);
    const MetafileGraphic m = Load(bytes);
    EXPECT_EQ(m.Width(), 40);
    EXPECT_EQ(m.Height(), 30);
    EXPECT_EQ(Play(bytes, 0xFF123456).Count(0xFF123456), 40 * 30);
    DibImage empty;
    EXPECT_EQ(Write(&empty, 40, 30, enhanced), bytes);
  }
}

// The frame survives the trip to 0.01 mm and back for every size: the reported size is the
// picture's.
TEST(MetafileWriter, ReportedSizeEqualsThePictureSize) {
  std::vector<int32_t> sides;
  for (int32_t s = 1; s <= 3000; ++s) sides.push_back(s);
  for (int32_t s : {4095, 10000, 32767, 65535}) sides.push_back(s);
  for (int32_t s : sides) {
    const MetafileGraphic emf = Load(Write(nullptr, s, s, true));
    ASSERT_EQ(emf.Width(), s);
    ASSERT_EQ(emf.Height(), s);
    if (s <= 32767) {
      ASSERT_EQ(Load(Write(nullptr, s, 1, false)).Width(), s);
    }
  }
}

TEST(MetafileWriter, PictureTooLargeForWindowsMetafileWritesNothing) {
  for (auto [w, h] : {std::pair{40000, 10}, std::pair{10, 40000}}) {
    MemoryStream out;
    EXPECT_THROW(WriteMetafile(nullptr, w, h, false, out), InvalidImageOperationError);
    EXPECT_TRUE(out.Bytes().empty());
  }
}

}  // namespace
}  // namespace tessane::test
