// tessane-cli's WebP and AVIF outputs and --quality: the outputs open in the reference decoders
// at the expected size, keep alpha and metadata; --quality moves bytes, and a run without the new
// options writes exactly the bytes it wrote before they existed.

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/mux.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/paths.h"
#include "cli/batch_runner.h"
#include "cli/exif_fixture.h"
#include "cli/png_fixture.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "formats/metadata/metadata.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::cli {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

std::string Capture(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                             ::pclose);
  if (!pipe) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

int RunQuietly(CliOptions o) {
  o.quiet = true;
  o.jobs = 2;
  std::ostringstream out, err;
  const int status = BatchRunner(o).Run(out, err, false);
  EXPECT_EQ(err.str(), "");
  return status;
}

/// A 640 x 480 photo-like JPEG (smooth colours with grain) carrying EXIF (orientation 6), an ICC
/// profile and XMP.
void WritePhoto(const std::string& path) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(640, 480);
  uint32_t seed = 1;
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      seed = seed * 1103515245u + 12345u;
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 255 / 639), p[1] = uint8_t(y * 255 / 479);
      p[2] = uint8_t(128 + (seed >> 27));
    }
  JpegGraphic jpeg;
  jpeg.SetQuality(90);
  jpeg.Assign(b);
  MemoryStream out;
  jpeg.SaveToStream(out);
  Bytes segments = test::Segment(0xE1, test::BuildExif(false, 6));
  // A real RGB profile: it goes along with the decoded pixels into every output by default, and
  // the reference decoders read it there.
  const Bytes p3 = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  const Bytes icc = test::Segment(0xE2, test::IccChunk(1, 1, std::string(p3.begin(), p3.end())));
  const Bytes xmp = test::Segment(0xE1, test::XmpPayload("<x:xmpmeta>kept</x:xmpmeta>"));
  segments.insert(segments.end(), icc.begin(), icc.end());
  segments.insert(segments.end(), xmp.begin(), xmp.end());
  test::WriteBytes(path, test::WithSegments(out.TakeBytes(), segments));
}

/// A 40 x 20 PNG whose left half is half transparent.
void WriteAlphaPng(const std::string& path) {
  std::vector<uint8_t> rgba;
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) rgba.insert(rgba.end(), {30, 60, 200, uint8_t(x < 20 ? 128 : 255)});
  test::WriteBytes(path, test::RgbaPng(40, 20, rgba));
}

struct Info {
  int width = 0, height = 0;
  bool alpha = false;
};

Info WebpInfo(const Bytes& file) {
  Info i;
  WebPBitstreamFeatures f;
  if (WebPGetFeatures(file.data(), file.size(), &f) != VP8_STATUS_OK) return i;
  return Info{f.width, f.height, f.has_alpha != 0};
}

Info AvifInfo(const Bytes& file) {
  Info i;
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  if (heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr)
              .code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    i = Info{heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
             heif_image_handle_has_alpha_channel(handle) != 0};
  }
  heif_image_handle_release(handle);
  heif_context_free(context);
  return i;
}

/// Size of a picture as ImageMagick's identify reads it from a file.
std::string Identify(const std::string& path) {
  return Capture("identify -format '%wx%h' '" + path + "'");
}

TEST(WebpAvifOutput, OutputsOpenInTheReferenceDecodersAtTheExpectedSize) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  WritePhoto(in + "/photo.jpg");
  WriteAlphaPng(in + "/logo.png");
  struct Case {
    const char* format;
    bool autoOrient;
    const char* photoSize;  // the photo's output; the logo is 320 x 160 always
  };
  for (const Case c : {Case{"webp", false, "320x240"}, Case{"webp", true, "240x320"},
                       Case{"avif", false, "320x240"}, Case{"avif", true, "240x320"}}) {
    SCOPED_TRACE(std::string(c.format) + (c.autoOrient ? " upright" : ""));
    CliOptions o;
    o.paths = {in};
    o.dest_folder = out;
    o.output_ext = std::string(".") + c.format;
    o.auto_orient = c.autoOrient;
    o.overwrite = true;
    ASSERT_EQ(RunQuietly(o), 0);
    const std::string photo = out + "/photo." + c.format, logo = out + "/logo." + c.format;
    const Info p = c.format[0] == 'w' ? WebpInfo(test::ReadBytes(photo))
                                      : AvifInfo(test::ReadBytes(photo));
    EXPECT_EQ(std::to_string(p.width) + "x" + std::to_string(p.height), c.photoSize);
    EXPECT_FALSE(p.alpha);
    const Info l = c.format[0] == 'w' ? WebpInfo(test::ReadBytes(logo))
                                      : AvifInfo(test::ReadBytes(logo));
    EXPECT_EQ(l.width, 320);
    EXPECT_EQ(l.height, 160);
    EXPECT_TRUE(l.alpha) << "a PNG's transparency is kept";
    // The reference decoders, as a user would run them.
    const std::string decoded = dir.File("decoded.png");
    const std::string decode = c.format[0] == 'w' ? "dwebp '" + photo + "' -o '" + decoded + "'"
                                                  : "heif-convert '" + photo + "' '" + decoded + "'";
    ASSERT_EQ(std::system((decode + " >/dev/null 2>&1").c_str()), 0) << decode;
    EXPECT_EQ(Identify(decoded), c.photoSize);
    fs::remove(decoded);
  }
}

TEST(WebpAvifOutput, BackgroundStillFlattensAndLosslessWebpKeepsEveryPixel) {
  TempDir dir;
  const std::string png = dir.File("logo.png");
  WriteAlphaPng(png);
  CliOptions o;
  o.paths = {png};
  o.dest_folder = dir.File("flat");
  o.output_ext = ".webp";
  o.background = 0xFFFFFF;
  ASSERT_EQ(RunQuietly(o), 0);
  EXPECT_FALSE(WebpInfo(test::ReadBytes(dir.File("flat/logo.webp"))).alpha);

  o.dest_folder = dir.File("lossless");
  o.background.reset();
  o.lossless = true;
  o.size_mode = 3, o.size = 100;  // no scaling
  ASSERT_EQ(RunQuietly(o), 0);
  const Bytes file = test::ReadBytes(dir.File("lossless/logo.webp"));
  int w = 0, h = 0;
  std::unique_ptr<uint8_t, void (*)(void*)> px(WebPDecodeBGRA(file.data(), file.size(), &w, &h),
                                              WebPFree);
  ASSERT_TRUE(px);
  ASSERT_EQ(w, 40);
  for (const int x : {0, 19, 20, 39}) {
    const uint8_t* p = px.get() + 4 * x;
    EXPECT_EQ(p[0], 200);
    EXPECT_EQ(p[1], 60);
    EXPECT_EQ(p[2], 30);
    EXPECT_EQ(p[3], x < 20 ? 128 : 255) << x;
  }
}

TEST(WebpAvifOutput, InvisiblePixelsDoNotDarkenTheVisibleEdge) {
  TempDir dir;
  // Red on the right, transparent black on the left: scaled down, the edge pixels are partly
  // transparent and must stay red, not turn dark red.
  std::vector<uint8_t> rgba;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 90; ++x)
      rgba.insert(rgba.end(), {uint8_t(x < 45 ? 0 : 255), 0, 0, uint8_t(x < 45 ? 0 : 255)});
  const std::string png = dir.File("edge.png");
  test::WriteBytes(png, test::RgbaPng(90, 30, rgba));
  CliOptions o;
  o.paths = {png};
  o.dest_folder = dir.File("out");
  o.output_ext = ".webp";
  o.lossless = true;
  o.size = 40;
  ASSERT_EQ(RunQuietly(o), 0);
  const Bytes file = test::ReadBytes(dir.File("out/edge.webp"));
  int w = 0, h = 0;
  std::unique_ptr<uint8_t, void (*)(void*)> px(WebPDecodeBGRA(file.data(), file.size(), &w, &h),
                                              WebPFree);
  ASSERT_TRUE(px);
  ASSERT_EQ(w, 40);
  int partly = 0;
  for (int x = 0; x < w; ++x) {
    const uint8_t* p = px.get() + 4 * (size_t(h / 2) * w + x);
    if (p[3] == 0) continue;
    if (p[3] < 255) ++partly;
    EXPECT_GE(p[2], 250) << "x " << x << " alpha " << int(p[3]);
  }
  EXPECT_GT(partly, 0);
}

TEST(WebpAvifOutput, KeepMetadataPutsExifIccAndXmpIntoWebpAndAvif) {
  TempDir dir;
  const std::string photo = dir.File("photo.jpg");
  WritePhoto(photo);
  const SourceMetadata source = [&] {
    FileStream s(photo, FileMode::kOpenRead);
    return ReadJpegMetadata(s);
  }();
  const Bytes icc = AssembleIccProfile(source.icc);

  for (const std::string ext : {".webp", ".avif"}) {
    SCOPED_TRACE(ext);
    CliOptions o;
    o.paths = {photo};
    o.dest_folder = dir.File("out");
    o.output_ext = ext;
    o.keep_metadata = true;
    o.auto_orient = true;
    ASSERT_EQ(RunQuietly(o), 0);
    const Bytes file = test::ReadBytes(dir.File("out/photo" + ext));
    Bytes exif, gotIcc, xmp;
    if (ext == ".webp") {
      const WebPData data{file.data(), file.size()};
      std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&data, 0), WebPMuxDelete);
      ASSERT_TRUE(mux);
      auto chunk = [&](const char* fourcc) {
        WebPData c{};
        return WebPMuxGetChunk(mux.get(), fourcc, &c) == WEBP_MUX_OK
                   ? Bytes(c.bytes, c.bytes + c.size)
                   : Bytes{};
      };
      exif = chunk("EXIF"), gotIcc = chunk("ICCP"), xmp = chunk("XMP ");
    } else {
      heif_context* context = heif_context_alloc();
      heif_image_handle* handle = nullptr;
      ASSERT_EQ(heif_context_read_from_memory_without_copy(context, file.data(), file.size(),
                                                           nullptr)
                    .code,
                heif_error_Ok);
      ASSERT_EQ(heif_context_get_primary_image_handle(context, &handle).code, heif_error_Ok);
      gotIcc.resize(heif_image_handle_get_raw_color_profile_size(handle));
      heif_image_handle_get_raw_color_profile(handle, gotIcc.data());
      auto block = [&](const char* type) {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(handle, type, &id, 1) != 1) return Bytes{};
        Bytes b(heif_image_handle_get_metadata_size(handle, id));
        heif_image_handle_get_metadata(handle, id, b.data());
        return b;
      };
      exif = block("Exif"), xmp = block("mime");
      if (exif.size() > 4) exif.erase(exif.begin(), exif.begin() + 4);  // libheif's offset field
      heif_image_handle_release(handle);
      heif_context_free(context);
    }
    EXPECT_EQ(gotIcc, icc);
    EXPECT_EQ(std::string(xmp.begin(), xmp.end()), "<x:xmpmeta>kept</x:xmpmeta>");
    // The EXIF's own orientation is reset: the pixels are upright.
    Bytes payload = test::Text("Exif\0\0", 6);
    payload.insert(payload.end(), exif.begin(), exif.end());
    EXPECT_EQ(ExifOrientation(payload), 1);
  }
}

TEST(WebpAvifOutput, QualityMovesTheBytesOfEveryLossyFormat) {
  TempDir dir;
  const std::string photo = dir.File("photo.jpg");
  WritePhoto(photo);
  auto bytes = [&](const std::string& ext, std::optional<int> quality) {
    CliOptions o;
    o.paths = {photo};
    o.dest_folder = dir.File("out");
    o.output_ext = ext;
    o.quality = quality;
    o.overwrite = true;
    EXPECT_EQ(RunQuietly(o), 0);
    return test::ReadBytes(dir.File("out/photo" + ext));
  };
  for (const std::string ext : {".jpg", ".webp", ".avif"}) {
    SCOPED_TRACE(ext);
    EXPECT_LT(bytes(ext, 20).size() * 3 / 2, bytes(ext, 95).size());
  }
  // JPEG's default is the window's 75.
  EXPECT_EQ(bytes(".jpg", std::nullopt), bytes(".jpg", 75));
}

TEST(WebpAvifOutput, APlainRunWritesTheBytesItWroteBefore) {
  REQUIRE_SHARED_SAMPLES();
  std::ifstream table(test::DataPath("golden/plain_run.tsv"));
  ASSERT_TRUE(table);
  TempDir dir;
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string source, format, output, hash;
    ASSERT_TRUE(fields >> source >> format >> output >> hash) << line;
    SCOPED_TRACE(source + " as " + format);
    CliOptions o;
    o.paths = {test::SharedPath("testimages/" + source)};
    o.dest_folder = dir.File(format);
    o.output_ext = format == "source" ? "" : "." + format;
    ASSERT_EQ(RunQuietly(o), 0);
    const std::string path = o.dest_folder + "/" + output;
    EXPECT_EQ(Capture("sha256sum '" + path + "'").substr(0, 64), hash);
    ++rows;
  }
  EXPECT_EQ(rows, 21);
}

}  // namespace
}  // namespace tessane::cli
