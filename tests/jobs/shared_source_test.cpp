// Several sizes of one source through one SharedSource: loaded once, decoded once per JPEG
// scale, each output the bytes of a work of its own.

#include "jobs/shared_source.h"

#include <gtest/gtest.h>

#include "formats/bmp/dib_image.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/png/png_graphic.h"
#include "jobs/resize_job.h"
#include "support/job_requests.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::Request;

using test::TempDir;

DibImage Gradient(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 255 / w), p[1] = uint8_t(y * 255 / h), p[2] = uint8_t((x ^ y) & 0xFF);
    }
  return b;
}

TEST(SharedSource, EachSizeWritesWhatItsOwnWorkWritesFromOneDecodePerScale) {
  TempDir dir;
  JpegGraphic jpeg;
  jpeg.Assign(Gradient(1600, 1200));
  jpeg.SaveToFile(dir.File("photo.jpg"));
  PngGraphic png;
  png.Assign(Gradient(300, 200));
  png.SaveToFile(dir.File("plain.png"));

  struct Case {
    std::string source;
    std::vector<int32_t> sizes;
    size_t decodes;
  };
  // 1600 x 1200 at 100 and 120 px: 1/8; at 400: 1/2; at 1600: full size.
  const Case cases[] = {{dir.File("photo.jpg"), {100, 400, 120, 1600}, 3},
                        {dir.File("plain.png"), {50, 100, 600}, 1}};
  for (const Case& c : cases) {
    SharedSource shared;
    for (const int32_t size : c.sizes) {
      const std::string ext = c.source.substr(c.source.rfind('.'));
      ResizeJob together(Request(c.source, dir.File("together" + std::to_string(size) + ext), size));
      together.shared_source = &shared;
      together.extras.background = 0xFFFFFF;
      together.ProcessFile();
      const Picture* first = shared.picture.get();
      ResizeJob alone(Request(c.source, dir.File("alone" + std::to_string(size) + ext), size));
      alone.extras.background = 0xFFFFFF;
      alone.ProcessFile();
      ASSERT_TRUE(together.Written() && alone.Written());
      EXPECT_EQ(test::ReadBytes(together.dest_name), test::ReadBytes(alone.dest_name))
          << c.source << " at " << size;
      EXPECT_EQ(shared.picture.get(), first);  // loaded once
    }
    EXPECT_EQ(shared.by_scale.size(), c.decodes) << c.source;
  }
}

}  // namespace
}  // namespace tessane
