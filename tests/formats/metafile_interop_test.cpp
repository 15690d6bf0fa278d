// Our metafiles in other programs' hands: libwmf's wmf2svg and libemf2svg's emf2svg-conv must
// read what the writer makes and show the bitmap it carries, at its size and in its colours.

#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "base/stream.h"
#include "formats/bmp/dib_image.h"
#include "formats/metafile/metafile_writer.h"
#include "formats/sample_checks.h"
#include "support/test_support.h"

namespace tessane::test {
namespace {

// Four flat quadrants: colours survive any resampling the other program's renderer may do.
DibImage Quadrants(int32_t width, int32_t height) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = b.ScanLine(y) + x * 3;  // blue, green, red
      const bool right = x >= width / 2, bottom = y >= height / 2;
      p[0] = right ? 200 : 20;
      p[1] = bottom ? 180 : 40;
      p[2] = right == bottom ? 230 : 60;
    }
  return b;
}

TEST(MetafileInterop, OtherProgramsShowTheWrittenBitmap) {
  struct Case {
    const char* ext;
    bool enhanced;
    const char* tool;
    const char* command;  // %1 = metafile, %2 = svg
  } cases[] = {
      {".emf", true, "emf2svg-conv", "emf2svg-conv -i '%1' -o '%2'"},
      {".wmf", false, "wmf2svg", "wmf2svg -o '%2' '%1'"},
  };
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const DibImage bitmap = Quadrants(64, 40);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ext);
    if (!HaveTool(c.tool)) {
      ADD_FAILURE() << c.tool << " is not installed (scripts/install-deps.sh installs it)";
      continue;
    }
    const std::string metafile = dir.File(std::string("picture") + c.ext);
    const std::string svg = dir.File(std::string("picture") + c.ext + ".svg");
    const std::string png = dir.File(std::string("picture") + c.ext + ".png");
    {
      FileStream out(metafile, FileMode::kCreate);
      WriteMetafile(&bitmap, 64, 40, c.enhanced, out);
    }
    std::string command = c.command;
    command.replace(command.find("%1"), 2, metafile);
    command.replace(command.find("%2"), 2, svg);
    ASSERT_TRUE(RunQuietly(command)) << command;
    ASSERT_TRUE(RunQuietly("convert '" + svg + "' '" + png + "'"));

    const QImage shown(QString::fromStdString(png));
    ASSERT_FALSE(shown.isNull());
    ASSERT_GE(shown.width(), 60);
    ASSERT_GE(shown.height(), 37);
    // The middle of each quadrant, scaled to whatever size the renderer chose.
    for (const auto& [fx, fy] : {std::pair{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}}) {
      const int sx = static_cast<int>(fx * 64), sy = static_cast<int>(fy * 40);
      const uint8_t* p = bitmap.ScanLine(sy) + sx * 3;
      const QRgb got = shown.pixel(static_cast<int>(fx * shown.width()),
                                   static_cast<int>(fy * shown.height()));
      EXPECT_NEAR(qRed(got), p[2], 8) << fx << "," << fy;
      EXPECT_NEAR(qGreen(got), p[1], 8) << fx << "," << fy;
      EXPECT_NEAR(qBlue(got), p[0], 8) << fx << "," << fy;
    }
  }
}

}  // namespace
}  // namespace tessane::test
