// The resize job's source bitmap and the codec readers' pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "formats/picture.h"
#include "formats/webp/webp_graphic.h"
#include "pixels/argb_image.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

// The resize job's source bitmap takes the decoded buffer over, alpha included, and the graphic
// is empty afterwards. Drawn instead (as --background does), partly transparent pixels are
// blended over what is there.
TEST(CodecPixels, SourceBitmapAdoptsThePixelsAndDrawingBlends) {
  const std::vector<uint8_t> file = ReadBytes(DataPath("webp/lossless_alpha.webp"));
  Picture picture;
  ReadOnlyMemoryStream stream(file.data(), file.size());
  picture.LoadFromStream(std::make_unique<WebpGraphic>(), stream);
  const auto& graphic = static_cast<const CodecGraphic&>(*picture.graphic());
  const std::vector<uint32_t> decoded = graphic.Pixels();
  const uint32_t* buffer = graphic.Pixels().data();
  ArgbImage source;
  PictureToArgb(picture, source);
  ASSERT_EQ(source.Width(), 32);
  ASSERT_EQ(source.Height(), 24);
  EXPECT_EQ(source.Bits(), buffer) << "copied instead of taken over";
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), source.Bits()));
  EXPECT_TRUE(graphic.Empty());

  Picture again;
  ReadOnlyMemoryStream second(file.data(), file.size());
  again.LoadFromStream(std::make_unique<WebpGraphic>(), second);
  std::vector<uint32_t> white(32 * 24, 0xFFFFFFFFu);
  again.graphic()->Draw(ArgbView{white.data(), 32, 24, 32}, Rect{0, 0, 32, 24});
  for (int32_t x : {0, 10, 31}) {
    const uint32_t s = decoded[size_t(5) * 32 + x], a = s >> 24;
    const uint32_t red = ((s >> 16 & 0xFF) * a + 255 * (255 - a) + 127) / 255;
    EXPECT_EQ(white[size_t(5) * 32 + x] >> 16 & 0xFF, red) << x;
  }
}

}  // namespace
}  // namespace tessane::test
