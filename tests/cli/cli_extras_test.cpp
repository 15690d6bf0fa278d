// tessane-cli's own options (--auto-orient, --keep-metadata, --shrink-only, --background,
// --keep-date, --report) over real files, and the guarantee that a run without them writes
// exactly what the window's resize work writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "base/byte_order.h"
#include "base/paths.h"
#include "base/stream.h"
#include "cli/batch_runner.h"
#include "cli/exif_fixture.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "formats/metadata/metadata.h"
#include "jobs/resize_job.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::cli {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const std::string& path) {
  return "'" + path + "'";
}

/// Standard output of a shell command.
std::string Capture(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                             ::pclose);
  if (!pipe) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

/// A small but well-formed RGB display profile (header, one white-point tag) of 600 bytes, the
/// rest filled with noise: libpng refuses a profile whose header does not hold up, and one whose
/// compressed chunk is shorter than a header, as a mostly empty profile would be.
Bytes SmallIccProfile() {
  Bytes p(600, 0);
  auto tag = [&p](size_t at, const char* four) {
    std::copy(four, four + 4, p.begin() + static_cast<long>(at));
  };
  StoreBe32(&p[0], static_cast<uint32_t>(p.size()));
  StoreBe32(&p[8], 0x02100000);  // version 2.1
  tag(12, "mntr");
  tag(16, "RGB ");
  tag(20, "XYZ ");
  tag(36, "acsp");
  const uint32_t d50[3] = {0x0000F6D6, 0x00010000, 0x0000D32D};
  for (size_t i = 0; i < 3; ++i) StoreBe32(&p[68 + 4 * i], d50[i]);
  StoreBe32(&p[128], 1);  // one tag: the media white point
  tag(132, "wtpt");
  StoreBe32(&p[136], 144);
  StoreBe32(&p[140], 20);
  tag(144, "XYZ ");
  for (size_t i = 0; i < 3; ++i) StoreBe32(&p[152 + 4 * i], d50[i]);
  uint32_t noise = 12345;
  for (size_t i = 164; i < p.size(); ++i) {
    noise = noise * 1103515245u + 12345u;
    p[i] = static_cast<uint8_t>(noise >> 24);
  }
  return p;
}

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

/// w x h, 24-bit, quadrants red (top left), green (top right), blue (bottom left), white.
DibImage Quadrants(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t c = y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kWhite);
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  return b;
}

Bytes EncodeJpeg(const DibImage& bitmap) {
  JpegGraphic jpeg;
  jpeg.Assign(bitmap);
  MemoryStream out;
  jpeg.SaveToStream(out);
  return out.TakeBytes();
}

/// A stored-sideways photo: quadrant JPEG with an EXIF block of this orientation.
void WriteTaggedJpeg(const std::string& path, int32_t w, int32_t h, uint16_t orientation,
                     const Bytes& moreSegments = {}) {
  Bytes segments = test::Segment(0xE1, test::BuildExif(false, orientation));
  segments.insert(segments.end(), moreSegments.begin(), moreSegments.end());
  test::WriteBytes(path, test::WithSegments(EncodeJpeg(Quadrants(w, h)), segments));
}

/// Decoded pixels of an output file.
struct Decoded {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
};

Decoded Decode(const std::string& path) {
  Picture picture;
  picture.LoadPicture(path);
  ArgbImage b;
  PictureToArgb(picture, b);
  Decoded d{b.Width(), b.Height(), {}};
  d.pixels.assign(b.Bits(), b.Bits() + size_t(b.Width()) * b.Height());
  return d;
}

bool Near(uint32_t a, uint32_t b, int tolerance = 48) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

int RunCli(const CliOptions& o, std::string* errors = nullptr) {
  std::ostringstream out, err;
  const int status = BatchRunner(o).Run(out, err, false);
  if (errors) *errors = err.str();
  return status;
}

CliOptions Options(const std::vector<std::string>& paths, const std::string& dest) {
  CliOptions o;
  o.paths = paths;
  o.dest_folder = dest;
  o.jobs = 2;
  o.quiet = true;
  return o;
}

// A 32-bit BMP whose alpha runs 0 (left column), 128, 255 (right column); colours all mid grey.
void WriteAlphaBmp(const std::string& path) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k32Bit);
  b.SetSize(3, 2);
  const uint8_t alpha[3] = {0, 128, 255};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      uint8_t* p = b.ScanLine(y) + 4 * x;
      p[0] = p[1] = p[2] = 0x80;
      p[3] = alpha[x];
    }
  b.SaveToFile(path);
}

// A PNG with a transparent colour (tRNS): blue pixels on the left half are see-through.
void WriteKeyedPng(const std::string& path) {
  DibImage b = Quadrants(4, 2);
  b.SetTransparent(true, 0xFF0000);  // platform colour value of pure blue
  PngGraphic png;
  png.Assign(b);
  png.SaveToFile(path);
}

TEST(CliExtras, PlainRunWritesWhatTheWindowsWorkWritesByteForByte) {
  TempDir dir;
  const std::string in = dir.File("in"), cli = dir.File("cli"), window = dir.File("window");
  fs::create_directories(in);
  fs::create_directories(cli);
  fs::create_directories(window);
  // Sources every extra would change: a tagged JPEG with ICC and XMP, transparency, a small
  // picture that the size enlarges, an old modification time.
  WriteTaggedJpeg(in + "/phone.jpg", 640, 480, 6,
                  test::Segment(0xE2, test::IccChunk(1, 1, std::string(200, 'i'))));
  WriteAlphaBmp(in + "/alpha.bmp");
  WriteKeyedPng(in + "/keyed.png");
  Quadrants(20, 10).SaveToFile(in + "/small.bmp");
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (in + "/phone.jpg").c_str(), old, 0), 0);

  for (const std::string ext : {"", ".jpg", ".png"}) {
    CliOptions o = Options({in}, cli);
    o.output_ext = ext;
    o.overwrite = true;
    ASSERT_EQ(RunCli(o), 0) << "format " << ext;
    BatchRunner runner(o);
    for (const char* name : {"phone.jpg", "alpha.bmp", "keyed.png", "small.bmp"}) {
      const std::string source = in + "/" + name;
      const std::string cliOut = runner.DestinationFor(source);
      ResizeRequest request;
      request.source_name = source;
      request.dest_name = window + "/" + ExtractFileName(cliOut);
      request.overwrite = true;
      ResizeJob work(std::move(request));
      work.ProcessFile();
      ASSERT_TRUE(work.Written());
      EXPECT_EQ(test::ReadBytes(cliOut), test::ReadBytes(work.dest_name)) << cliOut;
    }
  }
}

TEST(CliExtras, AutoOrientTurnsEveryOrientationUprightBeforeSizing) {
  TempDir dir;
  const std::string out = dir.File("out");
  fs::create_directories(out);
  // Where the stored quadrants (R G / B W) land in the upright picture: TL, TR, BL, BR.
  struct Case {
    uint16_t orientation;
    uint32_t tl, tr, bl, br;
  };
  const Case cases[] = {
      {1, kRed, kGreen, kBlue, kWhite}, {2, kGreen, kRed, kWhite, kBlue},
      {3, kWhite, kBlue, kGreen, kRed}, {4, kBlue, kWhite, kRed, kGreen},
      {5, kRed, kBlue, kGreen, kWhite}, {6, kBlue, kRed, kWhite, kGreen},
      {7, kWhite, kGreen, kBlue, kRed}, {8, kGreen, kWhite, kRed, kBlue},
  };
  for (const Case& c : cases) {
    const std::string source = dir.File("o" + std::to_string(c.orientation) + ".jpg");
    WriteTaggedJpeg(source, 80, 40, c.orientation);
    CliOptions o = Options({source}, out);
    o.output_ext = ".png";
    o.size = 40;
    o.auto_orient = true;
    ASSERT_EQ(RunCli(o), 0);
    std::vector<std::pair<std::string, Decoded>> results = {
        {"ours", Decode(out + "/o" + std::to_string(c.orientation) + ".png")}};
    if (HaveTool("convert")) {
      // ImageMagick's turning of the same file must agree with the table too.
      const std::string reference = dir.File("im" + std::to_string(c.orientation) + ".png");
      ASSERT_EQ(
          std::system(("convert " + Quote(source) + " -auto-orient -resize 50% " + Quote(reference))
                          .c_str()),
          0);
      results.emplace_back("ImageMagick", Decode(reference));
    }
    for (const auto& [who, d] : results) {
      const std::string label = who + " " + std::to_string(c.orientation);
      const bool sideways = c.orientation >= 5;
      ASSERT_EQ(d.width, sideways ? 20 : 40) << label;
      ASSERT_EQ(d.height, sideways ? 40 : 20) << label;
      const int32_t qx = d.width / 4, qy = d.height / 4;
      EXPECT_TRUE(Near(d.At(qx, qy), c.tl)) << label << std::hex << " " << d.At(qx, qy);
      EXPECT_TRUE(Near(d.At(3 * qx, qy), c.tr)) << label;
      EXPECT_TRUE(Near(d.At(qx, 3 * qy), c.bl)) << label;
      EXPECT_TRUE(Near(d.At(3 * qx, 3 * qy), c.br)) << label;
    }
  }

  // A portrait phone photo stored 640 x 480 with orientation 6, at size 100: decoded at a
  // quarter (160 x 120), turned, sized 75 x 100. Without the option it stays landscape, and a
  // JPEG output carries no orientation tag (no EXIF at all without --keep-metadata).
  const std::string phone = dir.File("phone.jpg");
  WriteTaggedJpeg(phone, 640, 480, 6);
  for (const bool orient : {true, false}) {
    CliOptions o = Options({phone}, out);
    o.output_ext = ".jpg";
    o.size = 100;
    o.auto_orient = orient;
    o.overwrite = true;
    ASSERT_EQ(RunCli(o), 0);
    const Decoded d = Decode(out + "/phone.jpg");
    EXPECT_EQ(std::make_pair(d.width, d.height),
              orient ? std::make_pair(75, 100) : std::make_pair(100, 75));
    FileStream stream(out + "/phone.jpg", FileMode::kOpenRead);
    EXPECT_TRUE(ReadJpegMetadata(stream).exif.empty());
  }
  if (HaveTool("identify")) {
    EXPECT_EQ(Capture("identify -format '%[orientation]' " + Quote(out + "/phone.jpg")),
              "Undefined");
  }
}

TEST(CliExtras, AutoOrientTurnsTiffPicturesByTheirOrientationTag) {
  REQUIRE_SHARED_SAMPLES();
  // The same G4 picture stored with orientations 1, 3 and 6: upright they are all alike.
  TempDir dir;
  std::vector<std::string> sources;
  for (const char* n : {"1", "3", "6"})
    sources.push_back(
        test::SharedPath(std::string("testimages/tiff/pil_g4_orientation_") + n + ".tif"));
  CliOptions o = Options(sources, dir.Path());
  o.output_ext = ".png";
  o.size_mode = kSizePercent;
  o.size = 100;
  o.auto_orient = true;
  ASSERT_EQ(RunCli(o), 0);
  const Decoded upright = Decode(dir.File("pil_g4_orientation_1.png"));
  EXPECT_EQ(upright.width, 590);
  EXPECT_EQ(upright.height, 88);
  for (const char* n : {"3", "6"}) {
    const std::string name = std::string("pil_g4_orientation_") + n;
    const Decoded d = Decode(dir.File(name + ".png"));
    ASSERT_EQ(d.width, upright.width) << n;
    ASSERT_EQ(d.height, upright.height) << n;
    // The files hold slightly different scans of one page; turned wrongly they would differ
    // in thousands of pixels.
    size_t differ = 0;
    for (size_t i = 0; i < d.pixels.size(); ++i) differ += d.pixels[i] != upright.pixels[i];
    EXPECT_LT(differ, d.pixels.size() / 200) << n;
    if (HaveTool("convert")) {
      // ImageMagick's own turning gives the very same pixels.
      const std::string reference = dir.File(name + "_im.png");
      ASSERT_EQ(
          std::system(("convert " + Quote(test::SharedPath("testimages/tiff/" + name + ".tif")) +
                       " -auto-orient " + Quote(reference))
                          .c_str()),
          0);
      EXPECT_EQ(Decode(reference).pixels, d.pixels) << n;
    }
  }
}

TEST(CliExtras, KeepMetadataCarriesExifIccAndXmpIntoJpegAndPng) {
  TempDir dir;
  const std::string out = dir.File("out");
  fs::create_directories(out);
  const Bytes profile = SmallIccProfile();
  const std::string half1(profile.begin(), profile.begin() + profile.size() / 2);
  const std::string half2(profile.begin() + profile.size() / 2, profile.end());
  Bytes extra = test::Segment(0xE2, test::IccChunk(1, 2, half1));
  const Bytes second = test::Segment(0xE2, test::IccChunk(2, 2, half2));
  extra.insert(extra.end(), second.begin(), second.end());
  const std::string packet =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"tessane-test\"/></rdf:RDF>"
      "</x:xmpmeta>";
  const Bytes xmp = test::Segment(0xE1, test::XmpPayload(packet));
  extra.insert(extra.end(), xmp.begin(), xmp.end());
  const std::string source = dir.File("photo.jpg");
  WriteTaggedJpeg(source, 640, 480, 6, extra);

  struct Case {
    bool keep, orient;
    std::string ext;
  };
  const Case cases[] = {{true, false, ".jpg"},
                        {true, true, ".jpg"},
                        {true, true, ".png"},
                        {false, false, ".jpg"},
                        {false, true, ".png"}};
  for (const Case& c : cases) {
    CliOptions o = Options({source}, out);
    o.output_ext = c.ext;
    o.keep_metadata = c.keep;
    o.auto_orient = c.orient;
    o.overwrite = true;
    ASSERT_EQ(RunCli(o), 0);
    const std::string output = out + "/photo" + c.ext;
    const std::string label = output + (c.keep ? " keep" : "") + (c.orient ? " orient" : "");
    const Decoded d = Decode(output);
    EXPECT_EQ(d.width, c.orient ? 240 : 320) << label;

    if (c.ext == ".jpg") {
      FileStream stream(output, FileMode::kOpenRead);
      const SourceMetadata m = ReadJpegMetadata(stream);
      EXPECT_EQ(m.exif.empty(), !c.keep) << label;
      EXPECT_EQ(m.icc.size(), 2u) << label;  // the profile goes with the pixels anyway
      EXPECT_EQ(m.xmp.size(), c.keep ? 1u : 0u) << label;
      if (c.keep) {
        EXPECT_EQ(ExifOrientation(m.exif), c.orient ? 1 : 6) << label;
      }
    }
    // Independent readers see the same: ImageMagick for JPEG, libvips for PNG's eXIf and iTXt
    // (ImageMagick 6 does not read them), ImageMagick for the ICC profile of both.
    if (c.ext == ".jpg" && HaveTool("identify")) {
      const std::string exif = Capture(
          "identify -format '%[EXIF:Orientation]|%[EXIF:PixelXDimension]|"
          "%[EXIF:PixelYDimension]|%[EXIF:thumbnail:JPEGInterchangeFormat]' " +
          Quote(output));
      EXPECT_EQ(exif, !c.keep ? "|||" : (c.orient ? "1|240|320|" : "6|320|240|")) << label;
    }
    if (c.ext == ".png" && HaveTool("vipsheader")) {
      const std::string fields = Capture("vipsheader -a " + Quote(output));
      EXPECT_EQ(fields.find("exif-ifd0-Orientation: 1 (") != std::string::npos, c.keep) << fields;
      EXPECT_EQ(fields.find("exif-ifd2-PixelXDimension: 240 (") != std::string::npos, c.keep)
          << fields;
      EXPECT_EQ(fields.find("exif-ifd1-"), std::string::npos) << fields;
      EXPECT_EQ(fields.find("xmp-data:") != std::string::npos, c.keep) << fields;
    }
    if (HaveTool("convert")) {
      const std::string icc = Capture("convert " + Quote(output) + " icc:-");
      EXPECT_EQ(icc, std::string(profile.begin(), profile.end())) << label;
      if (c.ext == ".jpg") {
        const std::string xmpOut = Capture("convert " + Quote(output) + " xmp:-");
        EXPECT_EQ(xmpOut.find("tessane-test") != std::string::npos, c.keep) << label;
      }
    }
  }
}

TEST(CliExtras, ShrinkOnlyNeverEnlarges) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out);
  Quadrants(200, 100).SaveToFile(in + "/wide.bmp");
  test::WriteBytes(in + "/tall.jpg", EncodeJpeg(Quadrants(100, 1000)));
  struct Case {
    uint8_t mode;
    int32_t size;
    bool shrinkOnly;
    std::pair<int32_t, int32_t> wide, tall;
  };
  const Case cases[] = {
      {kSizeLargest, 320, true, {200, 100}, {32, 320}},
      {kSizeLargest, 320, false, {320, 160}, {32, 320}},
      {kSizeLargest, 200, true, {200, 100}, {20, 200}},  // exactly the size: kept
      {kSizeWidth, 150, true, {150, 75}, {100, 1000}},
      {kSizeHeight, 100, true, {200, 100}, {10, 100}},
      {kSizeHeight, 5000, true, {200, 100}, {100, 1000}},
      {kSizePercent, 100, true, {200, 100}, {100, 1000}},
  };
  for (const Case& c : cases) {
    CliOptions o = Options({in}, out);
    o.output_ext = ".png";
    o.size_mode = c.mode;
    o.size = c.size;
    o.shrink_only = c.shrinkOnly;
    o.overwrite = true;
    const std::string label = "mode " + std::to_string(c.mode) + " size " + std::to_string(c.size);
    ASSERT_EQ(RunCli(o), 0) << label;
    const Decoded wide = Decode(out + "/wide.png");
    const Decoded tall = Decode(out + "/tall.png");
    EXPECT_EQ(std::make_pair(wide.width, wide.height), c.wide) << label;
    EXPECT_EQ(std::make_pair(tall.width, tall.height), c.tall) << label;
  }
  // Kept at its own size, the picture is still converted and named as usual.
  CliOptions o = Options({in + "/wide.bmp"}, out);
  o.output_ext = ".jpg";
  o.addition = 1;
  o.addition_text = "_s";
  o.shrink_only = true;
  ASSERT_EQ(RunCli(o), 0);
  const Decoded jpg = Decode(out + "/wide_s.jpg");
  EXPECT_EQ(std::make_pair(jpg.width, jpg.height), std::make_pair(200, 100));
}

/// A PNG of colour type 6 (RGBA), written here so that no reader of ours is involved.
void WriteRgbaPng(const std::string& path, int32_t w, int32_t h,
                  const std::vector<uint32_t>& argb) {
  Bytes raw;
  for (int32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t p = argb[size_t(y) * w + x];
      raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
    }
  }
  Bytes packed(compressBound(raw.size()));
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, raw.data(), raw.size());
  packed.resize(packedSize);
  Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto chunk = [&](const char* name, const Bytes& data) {
    for (int s = 24; s >= 0; s -= 8) file.push_back(uint8_t(data.size() >> s));
    Bytes body(name, name + 4);
    body.insert(body.end(), data.begin(), data.end());
    file.insert(file.end(), body.begin(), body.end());
    const uint32_t crc = uint32_t(crc32(0, body.data(), body.size()));
    for (int s = 24; s >= 0; s -= 8) file.push_back(uint8_t(crc >> s));
  };
  chunk("IHDR", {0, 0, 0, uint8_t(w), 0, 0, 0, uint8_t(h), 8, 6, 0, 0, 0});
  chunk("IDAT", packed);
  chunk("IEND", {});
  test::WriteBytes(path, file);
}

TEST(CliExtras, BackgroundShowsThroughTransparentParts) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  fs::create_directories(out);
  // RGBA PNG: transparent, half-transparent white, opaque red.
  WriteRgbaPng(in + "/rgba.png", 3, 1, {0x00123456, 0x80FFFFFF, 0xFFFF0000});
  WriteAlphaBmp(in + "/alpha.bmp");  // grey at alpha 0, 128, 255
  WriteKeyedPng(in + "/keyed.png");  // blue quadrant see-through
  // A 32-bit BMP whose fourth byte is unused (all 0) is an opaque picture.
  DibImage unused = Quadrants(2, 2);
  unused.SetPixelFormat(DibFormat::k32Bit);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) unused.ScanLine(y)[4 * x + 3] = 0;
  unused.SaveToFile(in + "/unused.bmp");

  struct Expect {
    const char* file;
    int32_t x, y;
    uint32_t overBlack, overGreen;  // background none (black) / #00ff00
  };
  const Expect expects[] = {
      {"rgba", 0, 0, 0x000000, 0x00FF00},
      {"rgba", 1, 0, 0x808080, 0x80FF80},
      {"rgba", 2, 0, 0xFF0000, 0xFF0000},
      {"alpha", 0, 0, 0x808080, 0x00FF00},  // without --background the stored colour stays
      {"alpha", 1, 1, 0x808080, 0x40C040},
      {"alpha", 2, 0, 0x808080, 0x808080},
      {"keyed", 0, 1, 0x000000, 0x00FF00},
      {"keyed", 3, 1, 0xFFFFFF, 0xFFFFFF},
      {"unused", 0, 0, 0xFF0000, 0xFF0000},
      {"unused", 1, 1, 0xFFFFFF, 0xFFFFFF},
  };
  for (const bool green : {false, true}) {
    CliOptions o = Options({in}, out);
    o.output_ext = ".png";
    o.size_mode = kSizePercent;
    o.size = 100;
    o.overwrite = true;
    if (green) o.background = 0x00FF00;
    ASSERT_EQ(RunCli(o), 0);
    for (const Expect& e : expects) {
      const Decoded d = Decode(out + "/" + e.file + ".png");
      const uint32_t want = green ? e.overGreen : e.overBlack;
      EXPECT_TRUE(Near(d.At(e.x, e.y), want, 1))
          << e.file << " " << e.x << "," << e.y << (green ? " over green: " : " over black: ")
          << std::hex << d.At(e.x, e.y);
    }
  }
  // JPEG output of the transparent picture: the colour, not black.
  CliOptions o = Options({in + "/rgba.png"}, out);
  o.output_ext = ".jpg";
  o.size = 30;
  o.background = 0xFFFFFF;
  ASSERT_EQ(RunCli(o), 0);
  EXPECT_TRUE(Near(Decode(out + "/rgba.jpg").At(1, 5), 0xFFFFFF, 16));
}

TEST(CliExtras, KeepDateGivesOutputsTheSourcesModificationTime) {
  TempDir dir;
  const std::string source = dir.File("old.bmp");
  Quadrants(40, 20).SaveToFile(source);
  const struct timespec old[2] = {{1200000000, 0}, {1234567890, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), old, 0), 0);
  auto mtime = [](const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return std::make_pair(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  };
  struct Case {
    bool keepDate, copy;
    const char* dest;
  };
  for (const Case& c :
       {Case{true, false, "resized"}, Case{true, true, "copied"}, Case{false, false, "plain"}}) {
    const std::string out = dir.File(c.dest);
    fs::create_directories(out);
    CliOptions o = Options({source}, out);
    o.output_ext = ".png";
    o.keep_date = c.keepDate;
    o.copy = c.copy;
    ASSERT_EQ(RunCli(o), 0);
    const std::string output = out + (c.copy ? "/old.bmp" : "/old.png");
    if (c.keepDate) {
      EXPECT_EQ(mtime(output), std::make_pair(time_t{1234567890}, long{123456789})) << c.dest;
    } else {
      EXPECT_GT(mtime(output).first, time_t{1234567890}) << c.dest;
    }
  }
}

/// Digits, a dot and exactly three decimals.
bool IsSeconds(const std::string& text) {
  const size_t dot = text.find('.');
  if (dot == 0 || dot == std::string::npos || text.size() != dot + 4) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

std::vector<std::vector<std::string>> ReadTsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string field; std::getline(s, field, '\t');) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    rows.push_back(fields);
  }
  return rows;
}

TEST(CliExtras, ReportHasOneRowPerFileAndTheExitStatusFollowsTheOutcome) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out"), report = dir.File("run.tsv");
  fs::create_directories(in);
  fs::create_directories(out);
  Quadrants(64, 32).SaveToFile(in + "/a.bmp");
  test::WriteBytes(in + "/broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 3, 1});
  test::WriteBytes(in + "/notes.txt", {'x'});
  test::WriteBytes(in + "/tab\tname.bmp", test::ReadBytes(in + "/a.bmp"));

  // Listed smallest first: two workers take the largest first, the report keeps this order.
  CliOptions o = Options({in + "/broken.jpg", in + "/a.bmp", in + "/tab\tname.bmp",
                           in + "/notes.txt", dir.File("missing.png")},
                          out);
  o.output_ext = ".png";
  o.report_path = report;
  EXPECT_EQ(RunCli(o), 1);
  const auto rows = ReadTsv(report);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"source", "destination", "status", "message",
                                               "source_bytes", "output_bytes", "seconds"}));
  std::map<std::string, std::vector<std::string>> bySource;
  std::vector<std::string> listed;
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 7u) << i;
    bySource[ExtractFileName(rows[i][0])] = rows[i];
    listed.push_back(ExtractFileName(rows[i][0]));
    EXPECT_TRUE(IsSeconds(rows[i][6])) << rows[i][6];
  }
  EXPECT_EQ(listed,
            (std::vector<std::string>{"missing.png", "broken.jpg", "a.bmp", "tab\\tname.bmp"}));
  const auto& a = bySource["a.bmp"];
  EXPECT_EQ(a[1], out + "/a.png");
  EXPECT_EQ(a[2], "written");
  EXPECT_EQ(a[3], "");
  EXPECT_EQ(a[4], std::to_string(fs::file_size(in + "/a.bmp")));
  EXPECT_EQ(a[5], std::to_string(fs::file_size(out + "/a.png")));
  const auto& broken = bySource["broken.jpg"];
  EXPECT_EQ(broken[2], "failed");
  EXPECT_FALSE(broken[3].empty());
  EXPECT_EQ(broken[4], "7");
  EXPECT_EQ(broken[5], "");
  EXPECT_EQ(bySource["missing.png"][2], "failed");
  EXPECT_EQ(bySource["missing.png"][3], "No such file or folder");
  // A tab in a name is escaped, never a field break.
  EXPECT_EQ(bySource["tab\\tname.bmp"][2], "written");

  // All written: status 0 and the report replaced.
  fs::remove(in + "/broken.jpg");
  o.paths = {in};
  EXPECT_EQ(RunCli(o), 0);
  EXPECT_EQ(ReadTsv(report).size(), 3u);

  // A report that cannot be created is a usage error found before any work.
  const std::string empty = dir.File("empty");
  fs::create_directories(empty);
  o.dest_folder = empty;
  o.report_path = dir.File("no/such/folder/run.tsv");
  std::string errors;
  EXPECT_EQ(RunCli(o, &errors), 2);
  EXPECT_NE(errors.find("run.tsv"), std::string::npos) << errors;
  EXPECT_TRUE(fs::is_empty(empty));
}

}  // namespace
}  // namespace tessane::cli
