// Resource bounds of the readers: a header that asks for more than base/limits.h allows, or for
// more pixel data than the file can hold, must fail before the picture is allocated, and
// compressed data must stop at the size the header declares. Each case is loaded under a cap on
// the process's address space (except under AddressSanitizer, whose shadow memory rules the cap
// out), so a reader that allocates first and checks later fails with std::bad_alloc here instead
// of with its own error.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/limits.h"
#include "base/stream.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/bmp/dib_image.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"
#include "formats/gif/gif_graphic.h"
#include "formats/heif/heif_graphic.h"
#include "formats/jxl/jxl_graphic.h"
#include "formats/halo_cut/halo_cut_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/picture_need.h"
#include "formats/png/png_graphic.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"
#include "formats/tiff/tiff_graphic.h"
#include "formats/webp/webp_graphic.h"
#include "support/test_support.h"
#include "support/byte_builder.h"
#include "support/hostile_files.h"

namespace tessane {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanCapMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCanCapMemory = false;
#else
constexpr bool kCanCapMemory = true;
#endif
#else
constexpr bool kCanCapMemory = true;
#endif

// What a load may allocate beyond what the process already holds: far below any of the
// pictures the cases declare, far above what the small files need.
constexpr uint64_t kHeadroom = uint64_t{96} << 20;

// Lowers the soft address-space limit to the current size plus kHeadroom while alive.
class MemoryCap {
 public:
  MemoryCap() {
    if (!kCanCapMemory) return;
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    if (!(statm >> pages) || getrlimit(RLIMIT_AS, &old_) != 0) return;
    rlimit capped = old_;
    capped.rlim_cur = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + kHeadroom;
    if (old_.rlim_max != RLIM_INFINITY && capped.rlim_cur > old_.rlim_max) return;
    active_ = setrlimit(RLIMIT_AS, &capped) == 0;
  }
  ~MemoryCap() {
    if (active_) setrlimit(RLIMIT_AS, &old_);
  }
  MemoryCap(const MemoryCap&) = delete;
  MemoryCap& operator=(const MemoryCap&) = delete;

 private:
  rlimit old_{};
  bool active_ = false;
};

using test::ByteBuilder;
using test::HeifDeclaring;
using test::JxlHeader;
using test::ZlibZeros;

std::vector<uint8_t> Bmp(int32_t width, int32_t height, unsigned bpp, unsigned compression,
                         size_t data_bytes) {
  ByteBuilder b;
  b.Str("BM").U32(54 + data_bytes).U32(0).U32(54);
  b.U32(40).U32(width).U32(height).U16(1).U16(bpp).U32(compression).U32(0);
  b.U32(2835).U32(2835).U32(0).U32(0);
  return b.Fill(data_bytes, 0x55).data;
}

std::vector<uint8_t> Ppm(const std::string& magic, int64_t width, int64_t height) {
  ByteBuilder b;
  b.Str(magic + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n");
  return b.Fill(64, 0x80).data;
}

std::vector<uint8_t> Sgi(unsigned width, unsigned height, unsigned storage) {
  ByteBuilder b;
  b.U16Be(474).U8(storage).U8(1).U16Be(3).U16Be(width).U16Be(height).U16Be(3);
  return b.PadTo(512).Fill(88, 0x11).data;
}

std::vector<uint8_t> Pcx(unsigned width, unsigned height) {
  ByteBuilder b;
  b.U8(10).U8(5).U8(1).U8(8).U16(0).U16(0).U16(width - 1).U16(height - 1);
  b.PadTo(65).U8(3).U16(width).U16(1);
  return b.PadTo(128).Fill(64, 0xC1).data;  // runs of one byte: the least dense encoding there is
}

std::vector<uint8_t> Targa(unsigned width, unsigned height, unsigned type) {
  ByteBuilder b;
  b.U8(0).U8(0).U8(type).Fill(5).U16(0).U16(0).U16(width).U16(height).U8(24).U8(0x20);
  return b.Fill(82, 0xFF).data;
}

std::vector<uint8_t> Psd(uint32_t width, uint32_t height, unsigned compression) {
  ByteBuilder b;
  b.Str("8BPS").U16Be(1).Fill(6).U16Be(3).U32Be(height).U32Be(width).U16Be(8).U16Be(3);
  b.U32Be(0).U32Be(0).U32Be(0).U16Be(compression);
  return b.Fill(64, 0x7F).data;
}

std::vector<uint8_t> Cut(unsigned width, unsigned height) {
  ByteBuilder b;
  b.U16(width).U16(height).U16(0);
  for (int i = 0; i < 30; ++i) b.U16(1).U8(0);
  return b.data;
}

std::vector<uint8_t> Cel(unsigned width, unsigned height) {
  ByteBuilder b;
  b.U16(0x9119).U16(width).U16(height).U16(0).U16(0).U8(8).U8(0);
  return b.PadTo(32).Fill(800, 0x20).data;
}

std::vector<uint8_t> Gif(unsigned width, unsigned height) {
  ByteBuilder b;
  b.Str("GIF89a").U16(width).U16(height).U8(0x80).U8(0).U8(0).Fill(6, 0xAA);
  b.U8(0x2C).U16(0).U16(0).U16(width).U16(height).U8(0);
  b.U8(2).U8(3).U8(0x84).U8(0x8F).U8(0x00);  // a few codes, then the block terminator
  return b.U8(0x3B).data;
}

void PngChunk(ByteBuilder& b, const char* name, const std::vector<uint8_t>& data) {
  b.U32Be(static_cast<uint32_t>(data.size())).Str(name);
  b.Append(data);
  // The CRC covers the name and the data; zlib takes a null pointer (an empty vector's data) as
  // a request for the initial value, so an empty chunk adds nothing.
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(name), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  b.U32Be(static_cast<uint32_t>(crc));
}

// A PNG with the given header whose image data is `idat` (a zlib stream).
std::vector<uint8_t> Png(uint32_t width, uint32_t height, unsigned colour_type,
                         const std::vector<uint8_t>& idat) {
  ByteBuilder b;
  b.U8(0x89).Str("PNG\r\n").U8(0x1A).U8('\n');
  PngChunk(b, "IHDR",
           ByteBuilder().U32Be(width).U32Be(height).U8(8).U8(colour_type).U8(0).U8(0).U8(0).data);
  PngChunk(b, "IDAT", idat);
  PngChunk(b, "IEND", {});
  return b.data;
}

// A little-endian TIFF of one strip, 8 bits per sample, with `strip` as its (possibly
// compressed) data; compression 1 = none, 8 = deflate; photometric 1 = grey, 6 = YCbCr (three
// samples, subsampled 2 x 2 by default).
std::vector<uint8_t> Tiff(uint32_t width, uint32_t height, unsigned compression,
                          const std::vector<uint8_t>& strip, unsigned photometric = 1) {
  ByteBuilder b;
  const uint32_t ifd = 8;
  const unsigned entries = 9;
  const uint32_t data = ifd + 2 + entries * 12 + 4;
  b.Str("II").U16(42).U32(ifd).U16(entries);
  auto tag = [&](unsigned id, unsigned type, uint32_t value) {
    b.U16(id).U16(type).U32(1);
    if (type == 3)
      b.U16(value).U16(0);
    else
      b.U32(value);
  };
  tag(256, 4, width);
  tag(257, 4, height);
  tag(258, 3, 8);
  tag(259, 3, compression);
  tag(262, 3, photometric);
  tag(273, 4, data);
  tag(277, 3, photometric == 6 ? 3 : 1);
  tag(278, 4, height);
  tag(279, 4, static_cast<uint32_t>(strip.size()));
  b.U32(0);
  return b.Append(strip).data;
}

// A box: its size, its type and the content.
std::vector<uint8_t> Box(const char* type, const std::vector<uint8_t>& content) {
  ByteBuilder b;
  return b.U32Be(static_cast<uint32_t>(8 + content.size())).Str(type).Append(content).data;
}

// An AVIF whose primary item is an overlay of no pictures (a canvas in its fill colour) of
// canvas_width x canvas_height, declaring width x height in its image-size property. The
// overlay's description lies in the 'idat' box, or at the end of the file with in_idat false.
std::vector<uint8_t> AvifOverlay(uint32_t canvas_width, uint32_t canvas_height, uint32_t width,
                                 uint32_t height, bool in_idat = true) {
  ByteBuilder overlay;
  overlay.U8(0).U8(0).U16Be(0x1000).U16Be(0x8000).U16Be(0xF000).U16Be(0xFFFF);
  overlay.U16Be(canvas_width).U16Be(canvas_height);
  ByteBuilder hdlr, pitm, infe, iinf, iloc, ispe, ipma, meta;
  hdlr.U32Be(0).U32Be(0).Str("pict").Fill(13);
  pitm.U32Be(0).U16Be(1);
  infe.U8(2).Fill(3).U16Be(1).U16Be(0).Str("iovl").U8(0);
  iinf.U32Be(0).U16Be(1).Append(Box("infe", infe.data));
  ispe.U32Be(0).U32Be(width).U32Be(height);
  ipma.U32Be(0).U32Be(1).U16Be(1).U8(1).U8(1);
  const uint32_t data_size = static_cast<uint32_t>(overlay.data.size());
  // Version 1 names the construction method (1: in 'idat'); version 0 locates the data in the
  // file, at an offset filled in once the file is laid out.
  iloc.U8(in_idat ? 1 : 0).Fill(3).U8(0x44).U8(0).U16Be(1).U16Be(1);
  if (in_idat) iloc.U16Be(1);
  iloc.U16Be(0).U16Be(1).U32Be(0).U32Be(data_size);
  meta.U32Be(0).Append(Box("hdlr", hdlr.data)).Append(Box("pitm", pitm.data));
  // libheif wants a reference box beside an overlay, even one naming no pictures.
  meta.Append(Box("iinf", iinf.data)).Append(Box("iref", {0, 0, 0, 0})).Append(Box("iloc", iloc.data));
  meta.Append(Box("iprp", ByteBuilder()
                              .Append(Box("ipco", Box("ispe", ispe.data)))
                              .Append(Box("ipma", ipma.data))
                              .data));
  if (in_idat) meta.Append(Box("idat", overlay.data));
  ByteBuilder file;
  file.U32Be(24).Str("ftypavif").U32Be(0).Str("mif1miaf");
  file.Append(Box("meta", meta.data));
  if (!in_idat) {
    const uint32_t at = static_cast<uint32_t>(file.data.size() + 8);
    file.Append(Box("mdat", overlay.data));
    // The extent's offset: 14 bytes into the 'iloc' box's content.
    const std::string_view bytes(reinterpret_cast<const char*>(file.data.data()), file.data.size());
    const size_t iloc_at = bytes.find("iloc");
    StoreBe32(file.data.data() + iloc_at + 4 + 14, at);
  }
  return file.data;
}

struct BoundsCase {
  const char* name;
  GraphicFactory create;
  std::function<std::vector<uint8_t>()> make;
  const char* message = nullptr;  // a part of the error, where the reader names the cause
};

void PrintTo(const BoundsCase& c, std::ostream* os) {
  *os << c.name;
}

// Files that must be refused: sides or pixel counts beyond the limits, and uncompressed or
// run-length data far shorter than the header promises (16000 x 16000 is within the limits, so
// only a check against the file's length stops those from allocating hundreds of megabytes).
class RefusedBeforeAllocating : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(RefusedBeforeAllocating, FailsWithItsOwnError) {
  const std::vector<uint8_t> file = GetParam().make();
  std::unique_ptr<Graphic> graphic = GetParam().create();
  ReadOnlyMemoryStream stream(file.data(), file.size());
  MemoryCap cap;
  try {
    graphic->LoadFromStream(stream);
    ADD_FAILURE() << "loaded as " << graphic->Width() << " x " << graphic->Height();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).find("crc error"), std::string::npos)
        << "a broken fixture: " << e.what();
    if (GetParam().message != nullptr) {
      EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
  } catch (const std::bad_alloc&) {
    ADD_FAILURE() << "allocated before checking the header against the file";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Readers, RefusedBeforeAllocating,
    ::testing::Values(
        BoundsCase{"BmpSideAbove65535", MakeGraphic<DibImage>,
                   [] { return Bmp(70000, 1, 24, 0, 46); }},
        BoundsCase{"BmpPixelsAbove2To28", MakeGraphic<DibImage>,
                   [] { return Bmp(20000, 20000, 24, 0, 46); }},
        BoundsCase{"BmpDataShort", MakeGraphic<DibImage>,
                   [] { return Bmp(16000, 16000, 24, 0, 46); }},
        BoundsCase{"BmpRle8DataShort", MakeGraphic<DibImage>,
                   [] { return Bmp(16000, 16000, 8, 1, 46); }},
        BoundsCase{"PpmSideAbove65535", MakeGraphic<PpmGraphic>,
                   [] { return Ppm("P6", 70000, 1); }},
        BoundsCase{"PpmHugeNumber", MakeGraphic<PpmGraphic>,
                   [] { return Ppm("P6", 99999999999LL, 99999999999LL); }},
        BoundsCase{"PpmDataShort", MakeGraphic<PpmGraphic>, [] { return Ppm("P6", 16000, 16000); }},
        BoundsCase{"PgmTextDataShort", MakeGraphic<PpmGraphic>,
                   [] { return Ppm("P2", 16000, 16000); }},
        BoundsCase{"SgiPixelsAbove2To28", MakeGraphic<SgiGraphic>,
                   [] { return Sgi(20000, 20000, 0); }},
        BoundsCase{"SgiDataShort", MakeGraphic<SgiGraphic>, [] { return Sgi(16000, 16000, 0); }},
        BoundsCase{"SgiRleTableShort", MakeGraphic<SgiGraphic>,
                   [] { return Sgi(16000, 16000, 1); }},
        BoundsCase{"PcxPixelsAbove2To28", MakeGraphic<PcxGraphic>,
                   [] { return Pcx(20000, 20000); }},
        BoundsCase{"PcxRleDataShort", MakeGraphic<PcxGraphic>, [] { return Pcx(16000, 16000); }},
        BoundsCase{"TargaPixelsAbove2To28", MakeGraphic<TgaGraphic>,
                   [] { return Targa(20000, 20000, 2); }},
        BoundsCase{"TargaDataShort", MakeGraphic<TgaGraphic>,
                   [] { return Targa(16000, 16000, 2); }},
        BoundsCase{"TargaRleDataShort", MakeGraphic<TgaGraphic>,
                   [] { return Targa(16000, 16000, 10); }},
        BoundsCase{"PsdSideAbove65535", MakeGraphic<PsdGraphic>, [] { return Psd(70000, 1, 0); }},
        BoundsCase{"PsdDataShort", MakeGraphic<PsdGraphic>, [] { return Psd(16000, 16000, 0); }},
        BoundsCase{"PsdRleCountsShort", MakeGraphic<PsdGraphic>,
                   [] { return Psd(16000, 16000, 1); }},
        BoundsCase{"CutRleDataShort", MakeGraphic<HaloCutGraphic>,
                   [] { return Cut(16000, 16000); }},
        BoundsCase{"CelPixelsAbove2To28", MakeGraphic<AutodeskGraphic>,
                   [] { return Cel(20000, 20000); }},
        BoundsCase{"CelDataShort", MakeGraphic<AutodeskGraphic>, [] { return Cel(16000, 16000); }},
        BoundsCase{"GifScreenPixelsAbove2To28", MakeGraphic<GifGraphic>,
                   [] { return Gif(65535, 65535); }},
        BoundsCase{"PngSideAbove65535", MakeGraphic<PngGraphic>,
                   [] { return Png(70000, 1, 2, ZlibZeros(16)); }},
        BoundsCase{"PngPixelsAbove2To28", MakeGraphic<PngGraphic>,
                   [] { return Png(20000, 20000, 2, ZlibZeros(16)); }},
        BoundsCase{"PngDataShort", MakeGraphic<PngGraphic>,
                   [] { return Png(16000, 16000, 2, ZlibZeros(16)); }},
        BoundsCase{"TiffSideAbove65535", MakeGraphic<TiffGraphic>,
                   [] { return Tiff(70000, 1, 1, std::vector<uint8_t>(64)); }},
        BoundsCase{"TiffPixelsAbove2To28", MakeGraphic<TiffGraphic>,
                   [] { return Tiff(20000, 20000, 1, std::vector<uint8_t>(64)); }},
        BoundsCase{"TiffDataShort", MakeGraphic<TiffGraphic>,
                   [] { return Tiff(16000, 16000, 1, std::vector<uint8_t>(64)); }},
        BoundsCase{"TiffYCbCrDataShort", MakeGraphic<TiffGraphic>,
                   [] { return Tiff(16000, 16000, 1, std::vector<uint8_t>(64), 6); }},

        // libheif refuses sides beyond the limit itself; pixel counts are ours to check.
        BoundsCase{"HeifSideAbove65535", MakeGraphic<HeifGraphic>,
                   [] { return HeifDeclaring("heif/photo.heic", 70000, 24); }, "limit"},
        BoundsCase{"HeifPixelsAbove2To28", MakeGraphic<HeifGraphic>,
                   [] { return HeifDeclaring("heif/photo.heic", 20000, 20000); }, "too large"},
        BoundsCase{"AvifSideAbove65535", MakeGraphic<AvifGraphic>,
                   [] { return HeifDeclaring("avif/photo.avif", 70000, 24); }, "limit"},
        BoundsCase{"AvifPixelsAbove2To28", MakeGraphic<AvifGraphic>,
                   [] { return HeifDeclaring("avif/photo.avif", 20000, 20000); }, "too large"},
        // libheif sizes grids and overlays by their own data, not by the size checked above.
        BoundsCase{"AvifOverlayCanvasBeyondDeclaredSize", MakeGraphic<AvifGraphic>,
                   [] { return AvifOverlay(16000, 16000, 64, 48); },
                   "exceeds the declared 64 x 48"},
        BoundsCase{"AvifOverlayInMdatBeyondDeclaredSize", MakeGraphic<AvifGraphic>,
                   [] { return AvifOverlay(16000, 16000, 64, 48, false); },
                   "exceeds the declared 64 x 48"},
        BoundsCase{"AvifOverlayCanvasAbove2To28", MakeGraphic<AvifGraphic>,
                   [] { return AvifOverlay(20000, 20000, 64, 48); },
                   "overlay canvas of 20000 x 20000 pixels is too large"},
        BoundsCase{"HeifGridCanvasBeyondDeclaredSize", MakeGraphic<HeifGraphic>,
                   [] { return HeifDeclaring("heif/photo.heic", 16, 16); },
                   "exceeds the declared 16 x 16"},
        // Coded frames larger than the size they declare, found before anything is decoded.
        BoundsCase{"HeifCodedFrameBeyondDeclaredSize", MakeGraphic<HeifGraphic>,
                   [] { return HeifDeclaring("heif/coded256.heic", 16, 16); },
                   "coded frame of 256 x 256 pixels exceeds the declared 16 x 16"},
        BoundsCase{"AvifCodedFrameBeyondDeclaredSize", MakeGraphic<AvifGraphic>,
                   [] { return HeifDeclaring("avif/coded256.avif", 16, 16); },
                   "coded frame of 256 x 256 pixels exceeds the declared 16 x 16"},
        BoundsCase{"WebpCanvasSideAbove65535", MakeGraphic<WebpGraphic>,
                   [] { return test::WebpOnCanvas(70000, 24); }, "too large"},
        BoundsCase{"WebpCanvasPixelsAbove2To28", MakeGraphic<WebpGraphic>,
                   [] { return test::WebpOnCanvas(20000, 20000); }, "too large"},
        BoundsCase{"JxlSideAbove65535", MakeGraphic<JxlGraphic>,
                   [] { return JxlHeader(70000, 24); }, "too large"},
        BoundsCase{"JxlPixelsAbove2To28", MakeGraphic<JxlGraphic>,
                   [] { return JxlHeader(20000, 20000); }, "too large"}),
    [](const ::testing::TestParamInfo<BoundsCase>& info) { return std::string(info.param.name); });

// The length check counts subsampling: 2 x 2 subsampled YCbCr holds six bytes per four pixels,
// half of what three samples per pixel would need, and a file holding exactly that loads.
TEST(UncompressedLengthCheck, AcceptsSubsampledYCbCrOfExactLength) {
  const std::vector<uint8_t> file = Tiff(16, 16, 1, std::vector<uint8_t>(8 * 8 * 6, 128), 6);
  TiffGraphic graphic;
  ReadOnlyMemoryStream stream(file.data(), file.size());
  graphic.LoadFromStream(stream);
  EXPECT_EQ(graphic.Width(), 16);
  EXPECT_EQ(graphic.Height(), 16);
}

// The canvas check lets through an overlay of exactly its declared size, with its description
// in either place.
TEST(DerivedCanvasCheck, LoadsAnOverlayOfItsDeclaredSize) {
  for (const bool in_idat : {true, false}) {
    const std::vector<uint8_t> file = AvifOverlay(64, 48, 64, 48, in_idat);
    AvifGraphic graphic;
    ReadOnlyMemoryStream stream(file.data(), file.size());
    graphic.LoadFromStream(stream);
    EXPECT_EQ(graphic.Width(), 64);
    EXPECT_EQ(graphic.Height(), 48);
  }
}

// The coded-frame check lets through a coded picture of its declared size.
TEST(CodedFrameCheck, LoadsCodedPicturesOfTheirDeclaredSize) {
  for (const char* fixture : {"heif/coded256.heic", "avif/coded256.avif"}) {
    const std::vector<uint8_t> file = test::ReadBytes(test::DataPath(fixture));
    std::unique_ptr<Graphic> graphic = std::string(fixture).starts_with("avif")
                                           ? std::unique_ptr<Graphic>(new AvifGraphic)
                                           : std::unique_ptr<Graphic>(new HeifGraphic);
    ReadOnlyMemoryStream stream(file.data(), file.size());
    graphic->LoadFromStream(stream);
    EXPECT_EQ(graphic->Width(), 256) << fixture;
    EXPECT_EQ(graphic->Height(), 256) << fixture;
  }
}

// Small files whose headers ask for gigabytes: each format's probe reads the picture's size
// and its decoding need from the header alone (under the cap, so nothing of the picture is
// allocated), for the job to weigh against its memory budget before decoding.
struct HostileCase {
  const char* name;
  const char* ext;
  std::function<std::vector<uint8_t>()> make;
  int64_t width;
  int64_t height;
  int64_t least_need;  // what the reader itself will hold at least
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

class HostileHeader : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileHeader, NeedIsReadFromTheHeaderAlone) {
  const HostileCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File(std::string("hostile.") + c.ext);
  test::WriteBytes(path, c.make());
  RegisterCommandLineFormats();
  MemoryCap cap;
  int64_t file_size = 0;
  const std::optional<DecodeNeed> need = ProbeDecodeNeed(path, file_size);
  ASSERT_TRUE(need.has_value());
  EXPECT_EQ(need->width, c.width);
  EXPECT_EQ(need->height, c.height);
  EXPECT_GE(need->WholeAt(1), c.least_need);
}

constexpr int64_t kPixels16k = int64_t{16384} * 16384;

INSTANTIATE_TEST_SUITE_P(
    Readers, HostileHeader,
    ::testing::Values(
        HostileCase{"GifScreen16384", "gif", test::GifOnHugeScreen, 16384, 16384, 35},
        HostileCase{"JxlOf16384", "jxl", [] { return JxlHeader(16384, 16384); }, 16384, 16384,
                    4 * kPixels16k},
        HostileCase{"WebpCanvas16383", "webp", [] { return test::WebpOnCanvas(16383, 16383); },
                    16383, 16383, int64_t{4} * 16383 * 16383},
        HostileCase{"PngOf16384", "png", [] { return test::PngDeclaring(16384, 16384); }, 16384,
                    16384, 8 * kPixels16k},
        HostileCase{"TiffOf65535Strips", "tif", test::TiffOfManyStrips, 4096, 65535,
                    int64_t{8} * 4096 * 65535},
        HostileCase{"JpegOf65500", "jpg", [] { return test::JpegDeclaring(65500, 65500); }, 65500,
                    65500, int64_t{3} * 65500 * 65500},
        HostileCase{"BmpOf30000", "bmp", [] { return Bmp(30000, 30000, 24, 0, 16); }, 30000, 30000,
                    int64_t{3} * 30000 * 30000},
        HostileCase{"TargaOf16000", "tga", [] { return Targa(16000, 16000, 2); }, 16000, 16000,
                    int64_t{4} * 16000 * 16000},
        HostileCase{"PcxOf16000", "pcx", [] { return Pcx(16000, 16000); }, 16000, 16000,
                    int64_t{4} * 16000 * 16000},
        HostileCase{"SgiOf16000", "sgi", [] { return Sgi(16000, 16000, 0); }, 16000, 16000,
                    int64_t{4} * 16000 * 16000},
        HostileCase{"PsdOf16000", "psd", [] { return Psd(16000, 16000, 0); }, 16000, 16000,
                    int64_t{7} * 16000 * 16000},
        HostileCase{"HeifDeclaring16000", "heic",
                    [] { return HeifDeclaring("heif/photo.heic", 16000, 16000); }, 16000, 16000,
                    int64_t{8} * 16000 * 16000},
        HostileCase{"AvifDeclaring16000", "avif",
                    [] { return HeifDeclaring("avif/photo.avif", 16000, 16000); }, 16000, 16000,
                    int64_t{8} * 16000 * 16000}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// Compressed data that inflates far beyond the picture its header declares: decoding stops at
// the declared size, so a small picture stays small however much the data would expand.
class DecompressionStopsAtDeclaredSize : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(DecompressionStopsAtDeclaredSize, LoadsOrFailsWithinTheCap) {
  const std::vector<uint8_t> file = GetParam().make();
  std::unique_ptr<Graphic> graphic = GetParam().create();
  ReadOnlyMemoryStream stream(file.data(), file.size());
  MemoryCap cap;
  try {
    graphic->LoadFromStream(stream);
    EXPECT_LE(int64_t{graphic->Width()} * graphic->Height(), 64 * 64);
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
    ADD_FAILURE() << "inflated beyond the declared picture";
  }
}

// 256 MB of zeros compress to about a quarter of a megabyte.
constexpr uint64_t kBombBytes = uint64_t{256} << 20;

INSTANTIATE_TEST_SUITE_P(
    Readers, DecompressionStopsAtDeclaredSize,
    ::testing::Values(BoundsCase{"PngTinyPictureHugeIdat", MakeGraphic<PngGraphic>,
                                 [] { return Png(16, 16, 0, ZlibZeros(kBombBytes)); }},
                      BoundsCase{"TiffTinyPictureHugeDeflateStrip", MakeGraphic<TiffGraphic>,
                                 [] { return Tiff(16, 16, 8, ZlibZeros(kBombBytes)); }}),
    [](const ::testing::TestParamInfo<BoundsCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessane
