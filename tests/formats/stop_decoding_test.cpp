// A stop of the work (CancelScope) ends decoding between rows: a large picture under way is not
// decoded to its end first. A file read is stopped between its pieces the same way.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "base/cancel.h"
#include "base/errors.h"
#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane {
namespace {

DibImage Stripes(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x * 7 + y);
  return b;
}

TEST(StopDecoding, RaisedStopEndsDecodingWithAbortAndLoweredOneDecodes) {
  test::TempDir dir;
  const std::string png = dir.File("p.png"), jpeg = dir.File("j.jpg");
  {
    PngGraphic p;
    p.Assign(Stripes(300, 200));
    p.SaveToFile(png);
    JpegGraphic j;
    j.Assign(Stripes(300, 200));
    j.SaveToFile(jpeg);
  }
  for (const std::string& path : {png, jpeg}) {
    SCOPED_TRACE(path);
    std::atomic<bool> stop{false};
    // The file is read before the stop: only the decoding meets it.
    Picture stopped, whole;
    stopped.LoadPicture(path, /*decodeLater=*/true);
    whole.LoadPicture(path, /*decodeLater=*/true);
    const CancelScope scope(&stop);
    ArgbImage pixels;
    PictureToArgb(whole, pixels);
    EXPECT_EQ(pixels.Width(), 300);
    stop = true;
    ArgbImage none;
    EXPECT_THROW(PictureToArgb(stopped, none), AbortError);
  }
}

TEST(StopDecoding, RaisedStopEndsAFileReadAndTheScopeEnds) {
  test::TempDir dir;
  const std::string path = dir.File("large.bin");
  test::WriteBytes(path, {1});
  std::filesystem::resize_file(path, 64 << 20);  // sparse: nothing to write, much to read
  std::atomic<bool> stop{true};
  {
    const CancelScope scope(&stop);
    EXPECT_TRUE(Cancelled());
    EXPECT_THROW(ReadFileBytes(path), AbortError);
    {
      const CancelScope inner(nullptr);  // a nested work of its own, not stopped
      EXPECT_FALSE(Cancelled());
    }
    EXPECT_TRUE(Cancelled());
  }
  EXPECT_FALSE(Cancelled());
  EXPECT_EQ(ReadFileBytes(path).size(), size_t{64} << 20);
}

}  // namespace
}  // namespace tessane
