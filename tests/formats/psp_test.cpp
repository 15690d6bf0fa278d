#include "formats/psp/psp_graphic.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstring>

#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

const char* const kReadError = "Stream read error";
const char* const kInvalid = "Cannot load image. Invalid or unexpected PSP image format.";

std::unique_ptr<DibImage> Load(const std::vector<uint8_t>& bytes) {
  return LoadBytes<PspGraphic>(bytes);
}

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Channel {
  uint16_t bitmap_type = 0;   // 0 image, 1 transparency mask, 5 thumbnail
  uint16_t channel_type = 0;  // 0 index or mask, 1 red, 2 green, 3 blue
  Bytes data;                 // as stored before compression
};

struct Layer {
  std::array<int32_t, 4> image{};  // left, top, right, bottom
  std::array<int32_t, 4> saved{};  // within the image rectangle; empty: all of it
  uint8_t opacity = 255;
  bool visible = true;
  std::vector<Channel> channels;
};

struct Composite {
  int32_t width = 0, height = 0;
  uint16_t type = 0;  // 0 composite, 1 thumbnail
  uint16_t compression = 0;
  std::vector<Channel> channels;
};

struct PspFields {
  int version = 5;
  int32_t width = 4, height = 3;
  uint16_t bits = 24;
  uint16_t compression = 0;  // 0 none, 1 run-length, 2 deflate
  bool greyscale = false;
  std::vector<std::array<uint8_t, 3>> palette;
  std::vector<Layer> layers;
  std::vector<Composite> composites;
};

Bytes Compress(const Bytes& data, int compression) {
  if (compression == 2) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
  }
  if (compression != 1) return data;
  // Runs of 3 or more as 128 + n, value; the rest as literals of up to 128 bytes.
  Bytes out;
  for (size_t i = 0; i < data.size();) {
    size_t j = i;
    while (j < data.size() && j - i < 127 && data[j] == data[i]) ++j;
    if (j - i >= 3) {
      out.push_back(static_cast<uint8_t>(128 + (j - i)));
      out.push_back(data[i]);
      i = j;
    } else {
      const size_t n = std::min<size_t>(128, data.size() - i);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
                 data.begin() + static_cast<ptrdiff_t>(i + n));
      i += n;
    }
  }
  return out;
}

// A Paint Shop Pro file in the block layout of file version 3 (Paint Shop Pro 5) or later.
Bytes Psp(const PspFields& s) {
  const bool v3 = s.version == 3;
  // A block whose first chunk is `info`: version 3 gives the chunk's length in the block header,
  // later versions at the start of the chunk.
  auto block = [&](uint16_t id, const Bytes& info, const Bytes& rest) {
    Bytes body, b = {'~', 'B', 'K', 0};
    Put(b, id, 2);
    if (v3) {
      Put(b, info.size(), 4);
      body = info + rest;
    } else {
      Put(body, info.size() + 4, 4);
      body = body + info + rest;
    }
    Put(b, body.size(), 4);
    return b + body;
  };
  auto bank = [&](uint16_t id, const Bytes& body) {
    Bytes b = {'~', 'B', 'K', 0};
    Put(b, id, 2);
    if (v3) Put(b, 0, 4);
    Put(b, body.size(), 4);
    return b + body;
  };
  auto rect = [](const std::array<int32_t, 4>& r) {
    Bytes b;
    for (const int32_t v : r) Put(b, static_cast<uint32_t>(v), 4);
    return b;
  };
  auto channels = [&](const std::vector<Channel>& list, int compression) {
    Bytes out;
    for (const Channel& c : list) {
      const Bytes packed = Compress(c.data, compression);
      Bytes info;
      Put(info, packed.size(), 4);
      Put(info, c.data.size(), 4);
      Put(info, c.bitmap_type, 2);
      Put(info, c.channel_type, 2);
      out = out + block(5, info, packed);
    }
    return out;
  };
  auto counts = [](const std::vector<Channel>& list) {
    Bytes b;
    bool mask = false;
    for (const Channel& c : list) mask = mask || c.bitmap_type == 1;
    Put(b, mask ? 2 : 1, 2);
    Put(b, list.size(), 2);
    return b;
  };

  Bytes f(32, 0);
  const char signature[] = "Paint Shop Pro Image File\n\x1a";
  std::memcpy(f.data(), signature, sizeof signature - 1);
  Put(f, static_cast<uint32_t>(s.version), 2);
  Put(f, 0, 2);

  Bytes attributes;
  Put(attributes, static_cast<uint32_t>(s.width), 4);
  Put(attributes, static_cast<uint32_t>(s.height), 4);
  Put(attributes, 0, 8);  // resolution
  attributes.push_back(1);
  Put(attributes, s.compression, 2);
  Put(attributes, s.bits, 2);
  Put(attributes, 1, 2);
  Put(attributes, s.bits <= 8 ? 1u << s.bits : 1u << 24, 4);
  attributes.push_back(s.greyscale ? 1 : 0);
  Put(attributes, 0, 4);
  Put(attributes, 0, 4);
  Put(attributes, s.layers.size(), 2);
  if (!v3) Put(attributes, 1, 4);
  f = f + block(0, attributes, {});

  auto palette_block = [&](const std::vector<std::array<uint8_t, 3>>& entries) {
    Bytes count, list;
    Put(count, entries.size(), 4);
    for (const auto& e : entries) list = list + Bytes{e[2], e[1], e[0], 0};
    return block(2, count, list);
  };
  if (!s.palette.empty()) f = f + palette_block(s.palette);

  if (!s.composites.empty()) {
    Bytes body;
    Put(body, 8, 4);
    Put(body, s.composites.size(), 4);
    for (const Composite& c : s.composites) {
      Bytes a;
      Put(a, static_cast<uint32_t>(c.width), 4);
      Put(a, static_cast<uint32_t>(c.height), 4);
      Put(a, s.bits, 2);
      Put(a, c.compression, 2);
      Put(a, 1, 2);
      Put(a, 0, 4);
      Put(a, c.type, 2);
      body = body + block(17, a, {});
      const Bytes parts = (s.palette.empty() ? Bytes{} : palette_block(s.palette)) +
                          channels(c.channels, c.compression);
      body = body + block(9, counts(c.channels), parts);
    }
    f = f + bank(16, body);
  }

  Bytes layers;
  for (const Layer& l : s.layers) {
    Bytes info;
    const std::string name = "Layer";
    if (v3) {
      info = Bytes(256, 0);
      std::memcpy(info.data(), name.data(), name.size());
    } else {
      Put(info, name.size(), 2);
      info.insert(info.end(), name.begin(), name.end());
    }
    info.push_back(v3 ? 0 : 1);  // raster layer
    info = info + rect(l.image);
    std::array<int32_t, 4> saved = l.saved;
    if (saved == std::array<int32_t, 4>{})
      saved = {0, 0, l.image[2] - l.image[0], l.image[3] - l.image[1]};
    info = info + rect(saved);
    info = info + Bytes{l.opacity, 0, static_cast<uint8_t>(l.visible ? 1 : 0), 0, 0};
    info = info + rect({}) + rect({}) + Bytes{0, 0, 0};
    Put(info, 5, 2);
    info.resize(info.size() + 40, 0);  // blend ranges
    const Bytes chans = channels(l.channels, s.compression);
    if (v3) {
      layers = layers + block(4, info + counts(l.channels), chans);
    } else {
      Bytes bitmap_info;
      Put(bitmap_info, 8, 4);
      bitmap_info = bitmap_info + counts(l.channels);
      layers = layers + block(4, info, bitmap_info + chans);
    }
  }
  return f + bank(3, layers);
}

Channel Plane(uint16_t channel_type, const Bytes& data, uint16_t bitmap_type = 0) {
  return Channel{bitmap_type, channel_type, data};
}

// A 4 x 3 background with a half-opaque white layer over its lower middle 2 x 2 pixels, whose
// mask hides one pixel and halves another.
PspFields TwoLayers(int version, uint16_t compression) {
  PspFields s{.version = version, .compression = compression};
  s.layers.push_back({.image = {0, 0, 4, 3},
                      .channels = {Plane(1, {255, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90}),
                                   Plane(2, {0, 255, 0, 11, 21, 31, 41, 51, 61, 71, 81, 91}),
                                   Plane(3, {0, 0, 255, 12, 22, 32, 42, 52, 62, 72, 82, 92})}});
  s.layers.push_back({.image = {1, 1, 3, 3},
                      .opacity = 128,
                      .channels = {Plane(1, Bytes(4, 255)), Plane(2, Bytes(4, 255)),
                                   Plane(3, Bytes(4, 255)), Plane(0, {255, 0, 255, 128}, 1)}});
  return s;
}

// What another reader (GIMP's) makes of TwoLayers, within 1.
const uint32_t kTwoLayers[12] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0A0B0C,
                                 0xFF141516, 0xFF8F8F90, 0xFF28292A, 0xFF323334,
                                 0xFF3C3D3E, 0xFFA3A3A4, 0xFF7C7D7D, 0xFF5A5B5C};

void ExpectPixels(const DibImage& bitmap, const uint32_t* expected) {
  ASSERT_EQ(bitmap.PixelFormat(), DibFormat::k32Bit);
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x)
      EXPECT_EQ(PixelAt(bitmap, x, y), expected[y * bitmap.Width() + x])
          << std::hex << "at " << x << ", " << y;
}

TEST(PspTest, LayersAreFlattenedInEveryVersionAndCompression) {
  for (const int version : {3, 4, 5, 6}) {
    for (const uint16_t compression : {0, 1, 2}) {
      SCOPED_TRACE("version " + std::to_string(version) + ", compression " +
                   std::to_string(compression));
      const auto bitmap = Load(Psp(TwoLayers(version, compression)));
      ASSERT_EQ(bitmap->Width(), 4);
      ASSERT_EQ(bitmap->Height(), 3);
      ExpectPixels(*bitmap, kTwoLayers);
    }
  }
}

TEST(PspTest, IndexedAndGreyImages) {
  const std::vector<std::array<uint8_t, 3>> colours = {
      {0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {9, 9, 9}};
  struct Case {
    const char* name;
    uint16_t bits;
    bool greyscale;
    Bytes data;  // rows of a 5 x 2 picture as stored
    uint32_t first, last;
  } cases[] = {
      {"8 bits, rows packed", 8, false, {1, 2, 3, 1, 2, 2, 2, 2, 2, 1}, 0xFFFF0000, 0xFFFF0000},
      {"4 bits, rows padded to 4 bytes",
       4,
       false,
       {0x12, 0x31, 0x20, 0, 0x22, 0x22, 0x30, 0},
       0xFFFF0000,
       0xFF090909},
      {"1 bit, rows padded to 4 bytes",
       1,
       false,
       {0x80, 0, 0, 0, 0x08, 0, 0, 0},
       0xFFFF0000,
       0xFFFF0000},
      {"grey", 8, true, {0, 50, 100, 150, 200, 250, 1, 2, 3, 4}, 0xFF000000, 0xFF040404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PspFields s{.width = 5, .height = 2, .bits = c.bits, .greyscale = c.greyscale};
    if (!c.greyscale) s.palette = colours;
    s.layers.push_back({.image = {0, 0, 5, 2}, .channels = {Plane(0, c.data)}});
    const auto bitmap = Load(Psp(s));
    EXPECT_EQ(PixelAt(*bitmap, 0, 0), c.first);
    EXPECT_EQ(PixelAt(*bitmap, 4, 1), c.last);
  }
}

TEST(PspTest, LayerPlacementAndVisibility) {
  PspFields s{.width = 4, .height = 2};
  const Bytes black(8, 0), one(1, 200);
  s.layers.push_back(
      {.image = {0, 0, 4, 2}, .channels = {Plane(1, black), Plane(2, black), Plane(3, black)}});
  // Stored pixels sit at the saved rectangle, which counts from the image rectangle's corner.
  s.layers.push_back({.image = {1, 0, 4, 2},
                      .saved = {1, 1, 2, 2},
                      .channels = {Plane(1, one), Plane(2, one), Plane(3, one)}});
  // A layer reaching past the left edge is cut there.
  s.layers.push_back({.image = {-1, 0, 1, 1},
                      .channels = {Plane(1, {50, 60}), Plane(2, {50, 60}), Plane(3, {50, 60})}});
  // Hidden layers are not drawn.
  s.layers.push_back(
      {.image = {0, 0, 4, 2},
       .visible = false,
       .channels = {Plane(1, Bytes(8, 255)), Plane(2, Bytes(8, 255)), Plane(3, Bytes(8, 255))}});
  const uint32_t expected[8] = {0xFF3C3C3C, 0xFF000000, 0xFF000000, 0xFF000000,
                                0xFF000000, 0xFF000000, 0xFFC8C8C8, 0xFF000000};
  ExpectPixels(*Load(Psp(s)), expected);
}

TEST(PspTest, FullSizeCompositeIsPreferredToTheLayers) {
  const Bytes grey(12, 77);
  const Composite full{.width = 4,
                       .height = 3,
                       .compression = 2,
                       .channels = {Plane(1, grey), Plane(2, grey), Plane(3, grey)}};
  const Composite thumbnail{
      .width = 2,
      .height = 2,
      .type = 1,
      .channels = {Plane(1, Bytes(4, 9)), Plane(2, Bytes(4, 9)), Plane(3, Bytes(4, 9))}};
  const Composite jpeg{.width = 4, .height = 3, .compression = 3, .channels = {}};
  PspFields with_composite = TwoLayers(5, 1);
  with_composite.composites = {thumbnail, full};
  EXPECT_EQ(PixelAt(*Load(Psp(with_composite)), 3, 2), 0xFF4D4D4Du);

  PspFields thumbnail_only = TwoLayers(5, 1);
  thumbnail_only.composites = {thumbnail, jpeg};
  ExpectPixels(*Load(Psp(thumbnail_only)), kTwoLayers);
}

TEST(PspTest, BadFilesFailWithTheirMessage) {
  const Bytes good = Psp(TwoLayers(5, 0));
  auto patched = [&](size_t at, uint8_t value) {
    Bytes file = good;
    file[at] = value;
    return file;
  };
  auto changed = [](auto change) {
    PspFields s = TwoLayers(5, 0);
    change(s);
    return Psp(s);
  };
  auto short_data = [](uint16_t compression) {
    PspFields s = TwoLayers(5, compression);
    s.layers[0].channels[0].data.resize(5);
    return Psp(s);
  };
  struct Case {
    const char* name;
    Bytes file;
    const char* message;
  } cases[] = {
      {"header cut short", Bytes(good.begin(), good.begin() + 30), kReadError},
      {"signature", patched(0, 'Q'), kInvalid},
      {"version 2", patched(32, 2), kInvalid},
      {"no block marker", patched(36, 'X'), kInvalid},
      {"cut inside a block", Bytes(good.begin(), good.end() - 3), kInvalid},
      {"no image attributes", Bytes(good.begin(), good.begin() + 36), kInvalid},
      {"16 bits per channel", changed([](PspFields& s) { s.bits = 48; }), kInvalid},
      {"jpeg layers", changed([](PspFields& s) { s.compression = 3; }), kInvalid},
      {"beyond the size limit", changed([](PspFields& s) { s.width = 70000; }), kInvalid},
      {"no visible layer", changed([](PspFields& s) { s.layers.clear(); }), kInvalid},
      {"plain channel short", short_data(0), kInvalid},
      {"run-length channel short", short_data(1), kInvalid},
      {"deflated channel short", short_data(2), kInvalid},
      {"palette of 300 entries",
       changed([](PspFields& s) { s.palette = std::vector<std::array<uint8_t, 3>>(300); }),
       kInvalid},
  };
  ExpectFailedLoadsLeaveNothing<PspGraphic>(good, cases);
}

TEST(PspTest, DamagedFilesFailCleanly) {
  for (const uint16_t compression : {1, 2}) {
    SCOPED_TRACE(compression);
    const Bytes file = Psp(TwoLayers(5, compression));
    for (size_t cut = 0; cut < file.size(); ++cut) {
      const std::string error =
          LoadError<PspGraphic>(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(cut)));
      EXPECT_TRUE(error == kInvalid || error == kReadError) << cut << ": " << error;
    }
    for (size_t at = 0; at < file.size(); ++at) {
      for (const uint8_t mask : {0xFF, 0x80}) {
        Bytes damaged = file;
        damaged[at] ^= mask;
        const std::string error = LoadError<PspGraphic>(damaged);
        EXPECT_TRUE(error.empty() || error == kInvalid) << at << ": " << error;
      }
    }
  }
}

TEST(PspTest, FilesDecodedByGimp) {
  // Files of tests/data/psp (made by make_fixtures.py) beside GIMP's decodes of them.
  EXPECT_EQ(CheckFilesWithDecodes("psp", Load, 1), 4);
}

}  // namespace
}  // namespace tessane::test
