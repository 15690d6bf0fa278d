// Picture: loading by extension, its failures, and the bitmap accessor.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/errors.h"
#include "formats/bmp/dib_image.h"
#include "formats/bmp/bmp_writer.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "support/test_support.h"

namespace tessane {
namespace {

std::vector<uint8_t> SmallBmp(int32_t width, int32_t height) {
  DibImage b;
  b.SetSize(width, height);
  MemoryStream out;
  b.SaveToStream(out);
  return out.Bytes();
}

std::string ErrorOf(Picture& picture, const std::string& path) {
  try {
    picture.LoadPicture(path);
  } catch (const InvalidImageError& e) {
    return std::string("InvalidImageError: ") + e.what();
  } catch (const FileOpenError& e) {
    return std::string("FileOpenError: ") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception: ") + e.what();
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
    Picture picture;
    // The files do not exist: the extension is refused before anything is opened.
    EXPECT_EQ(ErrorOf(picture, dir.File(c.name)),
              std::string("InvalidImageError: Unknown picture file extension (.") + c.ext + ")")
        << c.name;
    EXPECT_EQ(picture.graphic(), nullptr);
  }
}

TEST(Picture, MissingFileIsAnOpenError) {
  test::TempDir dir;
  Picture picture;
  EXPECT_EQ(ErrorOf(picture, dir.File("missing.bmp")), "FileOpenError: Cannot open file \"" +
                                                           dir.File("missing.bmp") +
                                                           "\". No such file or directory");
}

TEST(Picture, FailedLoadKeepsThePreviousGraphic) {
  test::TempDir dir;
  test::WriteBytes(dir.File("good.bmp"), SmallBmp(3, 2));
  test::WriteBytes(dir.File("bad.bmp"), {'B', 'M', 1, 2, 3});
  test::WriteBytes(dir.File("bad.jpg"), {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3});

  Picture empty;
  EXPECT_NE(ErrorOf(empty, dir.File("bad.bmp")), "loaded");
  EXPECT_EQ(empty.graphic(), nullptr);
  EXPECT_EQ(empty.Width(), 0);

  Picture picture;
  picture.LoadPicture(dir.File("good.bmp"));
  const Graphic* held = picture.graphic();
  for (const char* name : {"bad.bmp", "bad.jpg", "missing.bmp", "bad.xyz"}) {
    EXPECT_NE(ErrorOf(picture, dir.File(name)), "loaded") << name;
    EXPECT_EQ(picture.graphic(), held) << name;
    EXPECT_EQ(picture.Width(), 3) << name;
    EXPECT_EQ(picture.Height(), 2) << name;
  }
}

TEST(Picture, EmptyFiles) {
  test::TempDir dir;
  test::WriteBytes(dir.File("empty.bmp"), {});
  test::WriteBytes(dir.File("empty.jpg"), {});
  Picture picture;
  picture.LoadPicture(dir.File("empty.bmp"));
  ASSERT_NE(picture.graphic(), nullptr);
  EXPECT_EQ(typeid(*picture.graphic()), typeid(DibImage));
  EXPECT_EQ(picture.Width(), 0);
  picture.LoadPicture(dir.File("empty.jpg"));
  EXPECT_EQ(typeid(*picture.graphic()), typeid(JpegGraphic));
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
    const std::type_info& type;
    int32_t width, height;
  } cases[] = {
      {"bmp/g_rgb24.bmp", "a.bmp", typeid(DibImage), 127, 64},
      {"bmp/g_rgb24.bmp", "a.dib", typeid(DibImage), 127, 64},
      {"bmp/g_pal8rle.bmp", "a.rle", typeid(DibImage), 127, 64},
      {"ico/pil_python.ico", "a.ico", typeid(IconGraphic), 32, 32},
      {"jpeg/ljt_testorig.jpg", "a.jpg", typeid(JpegGraphic), 227, 149},
      {"jpeg/ljt_testorig.jpg", "PHOTO.JPG", typeid(JpegGraphic), 227, 149},
      {"jpeg/ljt_testorig.jpg", "a.jpeg", typeid(JpegGraphic), 227, 149},
      {"jpeg/ljt_testorig.jpg", "a.jfif", typeid(JpegGraphic), 227, 149},
      {"jpeg/pil_hopper_gray.jpg", "a.jpe", typeid(JpegGraphic), 128, 128},
      {"jpeg2000/ojd_basn6a08.jp2", "a.jp2", typeid(Jpeg2000Graphic), 32, 32},
      {"jpeg2000/ojd_p0_01.j2k", "a.j2k", typeid(Jpeg2000Graphic), 128, 128},
      {"jpeg2000/ojd_p0_01.j2k", "a.jpc", typeid(Jpeg2000Graphic), 128, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::copy_file(test::SharedPath(std::string("testimages/") + c.sample),
                               dir.File(c.name), std::filesystem::copy_options::overwrite_existing);
    Picture picture;
    ASSERT_NO_THROW(picture.LoadPicture(dir.File(c.name)));
    EXPECT_EQ(typeid(*picture.graphic()), c.type);
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
  }
}

TEST(Picture, PictureBitmapKeepsBitmapKindsAndReplacesOthers) {
  Picture picture;
  EXPECT_EQ(picture.EnsureBitmap().Width(), 0);

  auto jpeg = std::make_unique<JpegGraphic>();
  DibImage source;
  source.SetSize(4, 4);
  jpeg->Assign(source);
  picture.SetGraphic(std::move(jpeg));
  ASSERT_EQ(picture.Width(), 4);
  DibImage& replaced = picture.EnsureBitmap();
  EXPECT_EQ(typeid(replaced), typeid(DibImage));
  EXPECT_EQ(replaced.Width(), 0);
  EXPECT_EQ(replaced.Height(), 0);
  EXPECT_EQ(picture.graphic(), &replaced);

  auto jp2 = std::make_unique<Jpeg2000Graphic>();
  jp2->SetSize(5, 6);
  Jpeg2000Graphic* held = jp2.get();
  picture.SetGraphic(std::move(jp2));
  EXPECT_EQ(&picture.EnsureBitmap(), held);
  EXPECT_EQ(picture.EnsureBitmap().Width(), 5);
}

}  // namespace
}  // namespace tessane
