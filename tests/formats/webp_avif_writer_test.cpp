// The WebP and AVIF writers: every output decodes, with the libraries themselves, to the size
// and alpha it was given; lossless WebP keeps every pixel; metadata lands in each format's place.

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/mux.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/stream.h"
#include "formats/avif/avif_writer.h"
#include "formats/bmp/dib_image.h"
#include "formats/webp/webp_writer.h"

namespace tessane {
namespace {

using Bytes = std::vector<uint8_t>;

/// A smooth colour ramp; with alpha, the alpha runs from 0 (left) to 255 (right).
DibImage Ramp(int32_t w, int32_t h, bool alpha) {
  DibImage b;
  b.SetPixelFormat(alpha ? DibFormat::k32Bit : DibFormat::k24Bit);
  b.SetSize(w, h);
  const int bytes = alpha ? 4 : 3;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + bytes * x;
      p[0] = static_cast<uint8_t>(40 + 160 * x / std::max(1, w - 1));   // blue
      p[1] = static_cast<uint8_t>(200 - 150 * y / std::max(1, h - 1));  // green
      p[2] = 128;                                                       // red
      if (alpha) p[3] = static_cast<uint8_t>(w > 1 ? 255 * x / (w - 1) : 128);
    }
  return b;
}

struct Decoded {
  int width = 0, height = 0;
  bool has_alpha = false;
  std::vector<uint8_t> bgra;
};

Decoded DecodeWebp(const Bytes& file) {
  Decoded d;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK) return d;
  d.has_alpha = features.has_alpha != 0;
  uint8_t* pixels = WebPDecodeBGRA(file.data(), file.size(), &d.width, &d.height);
  if (pixels == nullptr) return Decoded{};
  d.bgra.assign(pixels, pixels + size_t(d.width) * d.height * 4);
  WebPFree(pixels);
  return d;
}

struct HeifContext {
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  ~HeifContext() {
    heif_image_handle_release(handle);
    heif_context_free(context);
  }
};

Decoded DecodeAvif(const Bytes& file) {
  Decoded d;
  HeifContext heif;
  heif_error error =
      heif_context_read_from_memory_without_copy(heif.context, file.data(), file.size(), nullptr);
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(heif.context, &heif.handle);
  heif_image* image = nullptr;
  if (error.code == heif_error_Ok)
    error = heif_decode_image(heif.handle, &image, heif_colorspace_RGB,
                              heif_chroma_interleaved_RGBA, nullptr);
  if (error.code != heif_error_Ok) {
    ADD_FAILURE() << "libheif: " << error.message;
    return d;
  }
  d.has_alpha = heif_image_handle_has_alpha_channel(heif.handle) != 0;
  d.width = heif_image_get_width(image, heif_channel_interleaved);
  d.height = heif_image_get_height(image, heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < d.height; ++y)
    for (int x = 0; x < d.width; ++x) {
      const uint8_t* p = plane + y * stride + 4 * x;
      d.bgra.insert(d.bgra.end(), {p[2], p[1], p[0], p[3]});
    }
  heif_image_release(image);
  return d;
}

/// Largest difference of any channel between the bitmap and the decoded pixels; the colour of
/// fully transparent pixels does not count (encoders may change it).
int MaxDifference(const DibImage& b, const Decoded& d) {
  int worst = 0;
  std::vector<uint32_t> row(size_t(b.Width()));
  for (int32_t y = 0; y < b.Height(); ++y) {
    b.ToColor32Row(y, row.data());
    for (int32_t x = 0; x < b.Width(); ++x)
      for (int c = (row[size_t(x)] >> 24) == 0 ? 3 : 0; c < 4; ++c) {
        const int want = (row[size_t(x)] >> (8 * c)) & 0xFF;
        const int got = d.bgra[(size_t(y) * b.Width() + x) * 4 + c];
        worst = std::max(worst, std::abs(want - got));
      }
  }
  return worst;
}

Bytes Webp(const DibImage& b, const WebpOptions& options = {}) {
  MemoryStream out;
  EncodeWebp(b, options, out);
  return out.TakeBytes();
}

Bytes Avif(const DibImage& b, const AvifOptions& options = {}) {
  MemoryStream out;
  EncodeAvif(b, options, out);
  return out.TakeBytes();
}

struct Shape {
  int32_t w, h;
};
constexpr Shape kShapes[] = {{1, 1}, {3, 2}, {17, 9}, {64, 33}};

TEST(WebpWriter, EverySizeDecodesWithItsAlphaLossyAndLossless) {
  for (const Shape s : kShapes)
    for (const bool alpha : {false, true})
      for (const bool lossless : {false, true}) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " alpha " << alpha
                                        << " lossless " << lossless);
        const DibImage b = Ramp(s.w, s.h, alpha);
        WebpOptions options;
        options.lossless = lossless;
        const Decoded d = DecodeWebp(Webp(b, options));
        ASSERT_EQ(d.width, s.w);
        ASSERT_EQ(d.height, s.h);
        EXPECT_EQ(d.has_alpha, alpha);
        if (lossless) {
          EXPECT_EQ(MaxDifference(b, d), 0);
        } else if (s.w >= 17) {
          // Chroma at half resolution blurs the steep ramps of the tiny shapes.
          EXPECT_LE(MaxDifference(b, d), 24);
        }
      }
}

/// A ramp with grain, for which quality makes a difference in bytes.
DibImage Noisy(int32_t w, int32_t h) {
  DibImage b = Ramp(w, h, false);
  uint32_t seed = 7;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * 3; ++x) {
      seed = seed * 1103515245u + 12345u;
      b.ScanLine(y)[x] = static_cast<uint8_t>(b.ScanLine(y)[x] + (seed >> 27));
    }
  return b;
}

TEST(WebpWriter, QualityTradesBytesAndAllClearAlphaCountsAsOpaque) {
  const DibImage noisy = Noisy(96, 64);
  WebpOptions low, high;
  low.quality = 10;
  high.quality = 95;
  EXPECT_LT(Webp(noisy, low).size() * 2, Webp(noisy, high).size());

  // The fourth byte of a 32-bit bitmap that is 0 everywhere is unused, not "invisible".
  DibImage clear = Ramp(8, 8, true);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) clear.ScanLine(y)[4 * x + 3] = 0;
  const Decoded d = DecodeWebp(Webp(clear));
  EXPECT_FALSE(d.has_alpha);
  EXPECT_EQ(d.bgra[3], 255);
}

TEST(WebpWriter, MetadataGoesIntoItsChunks) {
  WebpOptions options;
  options.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  options.icc = Bytes(300, 0x11);
  options.xmp = {'<', 'x', '/', '>'};
  const Bytes file = Webp(Ramp(5, 4, true), options);
  const WebPData data{file.data(), file.size()};
  std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&data, 0), WebPMuxDelete);
  ASSERT_TRUE(mux);
  for (const auto& [fourcc, want] :
       {std::pair{"EXIF", options.exif}, {"ICCP", options.icc}, {"XMP ", options.xmp}}) {
    WebPData chunk;
    ASSERT_EQ(WebPMuxGetChunk(mux.get(), fourcc, &chunk), WEBP_MUX_OK) << fourcc;
    EXPECT_EQ(Bytes(chunk.bytes, chunk.bytes + chunk.size), want) << fourcc;
  }
  EXPECT_EQ(DecodeWebp(file).width, 5);
}

TEST(WebpWriter, RefusesWhatItCannotWrite) {
  MemoryStream out;
  EXPECT_THROW(EncodeWebp(DibImage{}, {}, out), InvalidImageError);
  DibImage wide;
  wide.SetSize(16384, 1);
  EXPECT_THROW(EncodeWebp(wide, {}, out), InvalidImageError);
  EXPECT_EQ(out.Bytes().size(), 0u);
}

TEST(AvifWriter, EverySizeDecodesWithItsAlpha) {
  for (const Shape s : kShapes)
    for (const bool alpha : {false, true}) {
      SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " alpha " << alpha);
      const DibImage b = Ramp(s.w, s.h, alpha);
      AvifOptions options;
      options.quality = 90;
      const Decoded d = DecodeAvif(Avif(b, options));
      ASSERT_EQ(d.width, s.w);
      ASSERT_EQ(d.height, s.h);
      EXPECT_EQ(d.has_alpha, alpha);
      if (s.w >= 17) {
        EXPECT_LE(MaxDifference(b, d), 24);
      }
    }
}

TEST(AvifWriter, QualityTradesBytesAndMetadataGoesIntoItsBoxes) {
  const DibImage b = Noisy(96, 64);
  AvifOptions low, high;
  low.quality = 10;
  high.quality = 95;
  EXPECT_LT(Avif(b, low).size() * 2, Avif(b, high).size());

  AvifOptions options;
  options.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
  options.xmp = {'<', 'x', '/', '>'};
  options.icc = Bytes(300, 0x22);  // stored as given
  const Bytes file = Avif(b, options);
  HeifContext heif;
  ASSERT_EQ(heif_context_read_from_memory_without_copy(heif.context, file.data(), file.size(),
                                                       nullptr)
                .code,
            heif_error_Ok);
  ASSERT_EQ(heif_context_get_primary_image_handle(heif.context, &heif.handle).code,
            heif_error_Ok);
  Bytes icc(heif_image_handle_get_raw_color_profile_size(heif.handle));
  ASSERT_FALSE(icc.empty());
  ASSERT_EQ(heif_image_handle_get_raw_color_profile(heif.handle, icc.data()).code, heif_error_Ok);
  EXPECT_EQ(icc, options.icc);
  for (const auto& [type, want] : {std::pair{"Exif", options.exif}, {"mime", options.xmp}}) {
    heif_item_id id = 0;
    ASSERT_EQ(heif_image_handle_get_list_of_metadata_block_IDs(heif.handle, type, &id, 1), 1)
        << type;
    Bytes data(heif_image_handle_get_metadata_size(heif.handle, id));
    ASSERT_EQ(heif_image_handle_get_metadata(heif.handle, id, data.data()).code, heif_error_Ok);
    // libheif puts the offset of the TIFF header in front of EXIF data.
    if (std::string(type) == "Exif") data.erase(data.begin(), data.begin() + 4);
    EXPECT_EQ(data, want) << type;
  }
}

TEST(AvifWriter, RefusesAnEmptyPicture) {
  MemoryStream out;
  EXPECT_THROW(EncodeAvif(DibImage{}, {}, out), InvalidImageError);
  EXPECT_EQ(out.Bytes().size(), 0u);
}

}  // namespace
}  // namespace tessane
