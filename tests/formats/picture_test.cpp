// TPicture: loading by extension, its failures, and the bitmap accessor.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "formats/bitmap.h"
#include "formats/bmp_writer.h"
#include "formats/icon.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/picture.h"
#include "support/test_support.h"

namespace tessane {
namespace {

std::vector<uint8_t> SmallBmp(int32_t width, int32_t height) {
  TBitmap b;
  b.SetSize(width, height);
  TMemoryStream out;
  b.SaveToStream(out);
  return out.Bytes();
}

std::string ErrorOf(TPicture& picture, const std::string& path) {
  try {
    picture.LoadPicture(path);
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.what();
  }
  return "loaded";
}

TEST(Picture, UnknownExtensionNamesItAsWritten) {
  test::TempDir dir;
  const struct {
    const char* name;
    const char* ext;
  } cases[] = {
      {"photo.XyZ", "XyZ"}, {"photo", ""},  {"photo.", ""},
      {"photo.jp", "jp"},   {"a.b.x", "x"}, {"dir.jpg/photo", ""},
  };
  for (const auto& c : cases) {
    TPicture picture;
    // The files do not exist: the extension is refused before anything is opened.
    EXPECT_EQ(ErrorOf(picture, dir.File(c.name)),
              std::string("EInvalidGraphic: Unknown picture file extension (.") + c.ext + ")")
        << c.name;
    EXPECT_EQ(picture.Graphic(), nullptr);
  }
}

TEST(Picture, MissingFileIsAnOpenError) {
  test::TempDir dir;
  TPicture picture;
  EXPECT_EQ(ErrorOf(picture, dir.File("missing.bmp")), "EFOpenError: Cannot open file \"" +
                                                           dir.File("missing.bmp") +
                                                           "\". No such file or directory");
}

TEST(Picture, FailedLoadKeepsThePreviousGraphic) {
  test::TempDir dir;
  test::WriteBytes(dir.File("good.bmp"), SmallBmp(3, 2));
  test::WriteBytes(dir.File("bad.bmp"), {'B', 'M', 1, 2, 3});
  test::WriteBytes(dir.File("bad.jpg"), {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3});

  TPicture empty;
  EXPECT_NE(ErrorOf(empty, dir.File("bad.bmp")), "loaded");
  EXPECT_EQ(empty.Graphic(), nullptr);
  EXPECT_EQ(empty.Width(), 0);

  TPicture picture;
  picture.LoadPicture(dir.File("good.bmp"));
  const TGraphic* held = picture.Graphic();
  for (const char* name : {"bad.bmp", "bad.jpg", "missing.bmp", "bad.xyz"}) {
    EXPECT_NE(ErrorOf(picture, dir.File(name)), "loaded") << name;
    EXPECT_EQ(picture.Graphic(), held) << name;
    EXPECT_EQ(picture.Width(), 3) << name;
    EXPECT_EQ(picture.Height(), 2) << name;
  }
}

TEST(Picture, EmptyFiles) {
  test::TempDir dir;
  test::WriteBytes(dir.File("empty.bmp"), {});
  test::WriteBytes(dir.File("empty.jpg"), {});
  TPicture picture;
  picture.LoadPicture(dir.File("empty.bmp"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Graphic()->ClassType().Name, std::string("TBitmap"));
  EXPECT_EQ(picture.Width(), 0);
  picture.LoadPicture(dir.File("empty.jpg"));
  EXPECT_EQ(picture.Graphic()->ClassType().Name, std::string("TJPEGImage"));
  EXPECT_EQ(picture.Width(), 0);
  EXPECT_EQ(picture.Height(), 0);
}

// Every base extension loads through the picture with its class and reported size.
TEST(Picture, BaseExtensionsLoadWithTheirClassAndSize) {
  REQUIRE_SHARED_SAMPLES();
  test::TempDir dir;
  const struct {
    const char* sample;
    const char* name;
    const TGraphicClass* cls;
    int32_t width, height;
  } cases[] = {
      {"bmp/g_rgb24.bmp", "a.bmp", &TBitmap::Class, 127, 64},
      {"bmp/g_rgb24.bmp", "a.dib", &TBitmap::Class, 127, 64},
      {"bmp/g_pal8rle.bmp", "a.rle", &TBitmap::Class, 127, 64},
      {"ico/pil_python.ico", "a.ico", &TIcon::Class, 32, 32},
      {"jpeg/ljt_testorig.jpg", "a.jpg", &TJPEGImage::Class, 227, 149},
      {"jpeg/ljt_testorig.jpg", "PHOTO.JPG", &TJPEGImage::Class, 227, 149},
      {"jpeg/ljt_testorig.jpg", "a.jpeg", &TJPEGImage::Class, 227, 149},
      {"jpeg/ljt_testorig.jpg", "a.jfif", &TJPEGImage::Class, 227, 149},
      {"jpeg/pil_hopper_gray.jpg", "a.jpe", &TJPEGImage::Class, 128, 128},
      {"jpeg2000/ojd_basn6a08.jp2", "a.jp2", &TJpeg2000Bitmap::Class, 32, 32},
      {"jpeg2000/ojd_p0_01.j2k", "a.j2k", &TJpeg2000Bitmap::Class, 128, 128},
      {"jpeg2000/ojd_p0_01.j2k", "a.jpc", &TJpeg2000Bitmap::Class, 128, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::copy_file(test::SharedPath(std::string("testimages/") + c.sample),
                               dir.File(c.name), std::filesystem::copy_options::overwrite_existing);
    TPicture picture;
    ASSERT_NO_THROW(picture.LoadPicture(dir.File(c.name)));
    EXPECT_EQ(&picture.Graphic()->ClassType(), c.cls);
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
  }
}

TEST(Picture, PictureBitmapKeepsBitmapKindsAndReplacesOthers) {
  TPicture picture;
  EXPECT_EQ(picture.PictureBitmap().Width(), 0);

  auto jpeg = std::make_unique<TJPEGImage>();
  TBitmap source;
  source.SetSize(4, 4);
  jpeg->Assign(source);
  picture.SetGraphic(std::move(jpeg));
  ASSERT_EQ(picture.Width(), 4);
  TBitmap& replaced = picture.PictureBitmap();
  EXPECT_EQ(&replaced.ClassType(), &TBitmap::Class);
  EXPECT_EQ(replaced.Width(), 0);
  EXPECT_EQ(replaced.Height(), 0);
  EXPECT_EQ(picture.Graphic(), &replaced);

  auto jp2 = std::make_unique<TJpeg2000Bitmap>();
  jp2->SetSize(5, 6);
  TJpeg2000Bitmap* held = jp2.get();
  picture.SetGraphic(std::move(jp2));
  EXPECT_EQ(&picture.PictureBitmap(), held);
  EXPECT_EQ(picture.PictureBitmap().Width(), 5);
}

}  // namespace
}  // namespace tessane
