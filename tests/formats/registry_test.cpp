// The format registry after start-up, its lookups and the filter text built from it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/bmp/dib_image.h"
#include "formats/gif/gif_graphic.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/png/png_graphic.h"
#include "formats/format_registry.h"

namespace tessane {
namespace {

struct Row {
  const char* ext;
  const char* caption;
  const char* className;
};

const Row kExpected[] = {
    {"wmf", "Metafiles", "TMetafile"},
    {"emf", "Enhanced Metafiles", "TMetafile"},
    {"ico", "Icons", "TIcon"},
    {"bmp", "Bitmaps", "TBitmap"},
    {"jpeg", "JPEG Image File", "TJPEGImage"},
    {"jpg", "JPEG Image File", "TJPEGImage"},
    {"bmp", "Windows bitmaps", "TBitmap"},
    {"ico", "Windows icons", "TIcon"},
    {"wmf", "Windows metafiles", "TMetafile"},
    {"emf", "Windows enhanced meta files", "TMetafile"},
    {"jfif", "JFIF images", "TJPEGImage"},
    {"jpg", "JPG images", "TJPEGImage"},
    {"jpe", "JPE images", "TJPEGImage"},
    {"jpeg", "JPEG images", "TJPEGImage"},
    {"rle", "Run length encoded Windows bitmaps", "TBitmap"},
    {"dib", "Device independant Windows bitmaps", "TBitmap"},
    {"win", "Truevision images", "TTargaGraphic"},
    {"vst", "Truevision images", "TTargaGraphic"},
    {"vda", "Truevision images", "TTargaGraphic"},
    {"tga", "Truevision images", "TTargaGraphic"},
    {"icb", "Truevision images", "TTargaGraphic"},
    {"tiff", "Macintosh TIFF images", "TTIFFGraphic"},
    {"tif", "PC TIF images", "TTIFFGraphic"},
    {"fax", "GFI fax images", "TTIFFGraphic"},
    {"eps", "Encapsulated Postscript images", "TEPSGraphic"},
    {"pcx", "ZSoft Paintbrush images", "TPCXGraphic"},
    {"pcc", "ZSoft Paintbrush images", "TPCXGraphic"},
    {"scr", "Word 5.x screen capture images", "TPCXGraphic"},
    {"rpf", "Alias/Wavefront images", "TRLAGraphic"},
    {"rla", "Alias/Wavefront images", "TRLAGraphic"},
    {"sgi", "SGI true color images", "TSGIGraphic"},
    {"rgba", "SGI true color images with alpha", "TSGIGraphic"},
    {"rgb", "SGI true color images", "TSGIGraphic"},
    {"bw", "SGI black/white images", "TSGIGraphic"},
    {"psd", "Photoshop images", "TPSDGraphic"},
    {"pdd", "Photoshop images", "TPSDGraphic"},
    {"ppm", "Portable pixel map images", "TPPMGraphic"},
    {"pgm", "Portable gray map images", "TPPMGraphic"},
    {"pbm", "Portable bitmap images", "TPPMGraphic"},
    {"cel", "Autodesk images", "TAutodeskGraphic"},
    {"pic", "Autodesk images", "TAutodeskGraphic"},
    {"pcd", "Kodak Photo-CD images", "TPCDGraphic"},
    {"gif", "CompuServe images", "TGIFGraphic"},
    {"cut", "Dr. Halo images", "TCUTGraphic"},
    {"psp", "Paintshop Pro images", "TPSPGraphic"},
    {"png", "Portable network graphic images", "TPNGGraphic"},
    {"jp2", "JPEG 2000 Image", "TJpeg2000Bitmap"},
    {"j2k", "JPEG 2000 Image", "TJpeg2000Bitmap"},
    {"jpc", "JPEG 2000 Image", "TJpeg2000Bitmap"},
    {"gif", "GIF Image", "TGIFImage"},
    {"png", "Portable Network Graphics", "TPNGObject"},
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterStandardFormats(); }
};

TEST_F(RegistryTest, HoldsTheFiftyOneRegistrationsInOrder) {
  const std::vector<FileFormat>& entries = Formats().Entries();
  ASSERT_EQ(entries.size(), std::size(kExpected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_EQ(entries[i].Ext, kExpected[i].ext);
    EXPECT_EQ(entries[i].Caption, kExpected[i].caption);
    EXPECT_STREQ(entries[i].ClassRef->Name, kExpected[i].className);
    EXPECT_TRUE(entries[i].ClassRef->InheritsFrom(Graphic::Class));
  }
}

// The newest entry for an extension wins, whatever the letter case of the question.
TEST_F(RegistryTest, LookupIgnoresCaseAndTakesTheNewestEntry) {
  const struct {
    const char* ext;
    const GraphicClass* cls;
  } cases[] = {
      {"jpg", &JpegGraphic::Class},
      {"PHOTO", nullptr},
      {"JPG", &JpegGraphic::Class},
      {"Jpe", &JpegGraphic::Class},
      {"gif", &GifGraphic::Class},
      {"png", &PngGraphic::Class},
      {"PnG", &PngGraphic::Class},
      {"bmp", &DibImage::Class},
      {"ico", &IconGraphic::Class},
      {"emf", &MetafileGraphic::Class},
      {"jpc", &Jpeg2000Graphic::Class},
      {"", nullptr},
      {"jp", nullptr},
      {".jpg", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(FindFormatClass(c.ext), c.cls) << "'" << c.ext << "'";

  FormatRegistry local;
  local.Add("ABC", "First", DibImage::Class);
  local.Add("abc", "Second", IconGraphic::Class);
  EXPECT_EQ(local.FindExt("aBc"), &IconGraphic::Class);
  EXPECT_EQ(local.Entries()[0].Ext, "abc");
  EXPECT_EQ(local.Entries().size(), 2u);
}

// The metafile formats, and only they, say that drawing them may need fonts; the newest entry
// of an extension decides.
TEST_F(RegistryTest, OnlyMetafilesNeedFonts) {
  for (const FileFormat& entry : Formats().Entries())
    EXPECT_EQ(entry.needs_fonts, entry.ClassRef == &MetafileGraphic::Class) << entry.Ext;
  const struct {
    const char* ext;
    bool needs;
  } cases[] = {{"emf", true}, {"WMF", true}, {"jpg", false}, {"png", false},
               {"bmp", false}, {"", false},  {"emf2", false}};
  for (const auto& c : cases) EXPECT_EQ(FormatNeedsFonts(c.ext), c.needs) << "'" << c.ext << "'";

  FormatRegistry local;
  local.Add("xyz", "Drawn with text", MetafileGraphic::Class, true);
  EXPECT_TRUE(local.NeedsFonts("XYZ"));
  local.Add("xyz", "Plain pixels", DibImage::Class);
  EXPECT_FALSE(local.NeedsFonts("xyz"));
}

TEST_F(RegistryTest, FilterTextAfterStartUp) {
  std::string filter, masks;
  Formats().BuildFilter(Graphic::Class, filter, masks);
  EXPECT_EQ(filter, PictureFilter(Graphic::Class));
  EXPECT_EQ(filter.size(), 2344u);
  EXPECT_EQ(filter.rfind("All (*.png;*.gif;*.jpc;*.j2k;*.jp2;*.png;", 0), 0u);
  EXPECT_TRUE(filter.ends_with("Metafiles (*.wmf)|*.wmf"));
  EXPECT_EQ(masks,
            "*.png;*.gif;*.jpc;*.j2k;*.jp2;*.png;*.psp;*.cut;*.gif;*.pcd;*.pic;*.cel;*.pbm;*.pgm;"
            "*.ppm;*.pdd;*.psd;*.bw;*.rgb;*.rgba;*.sgi;*.rla;*.rpf;*.scr;*.pcc;*.pcx;*.eps;*.fax;"
            "*.tif;*.tiff;*.icb;*.tga;*.vda;*.vst;*.win;*.dib;*.rle;*.jpeg;*.jpe;*.jpg;*.jfif;"
            "*.emf;*.wmf;*.ico;*.bmp;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf");
  EXPECT_EQ(filter.substr(0, 4 + 1 + masks.size() + 2 + masks.size() + 1),
            "All (" + masks + ")|" + masks + "|");
  const std::string pairs = filter.substr(4 + 1 + masks.size() + 2 + masks.size() + 1);
  EXPECT_EQ(pairs.rfind("Portable Network Graphics (*.png)|*.png|GIF Image (*.gif)|*.gif|"
                        "JPEG 2000 Image (*.jpc)|*.jpc|",
                        0),
            0u);
  EXPECT_NE(pairs.find("|Portable network graphic images (*.png)|*.png|"), std::string::npos);
  EXPECT_NE(pairs.find("|CompuServe images (*.gif)|*.gif|"), std::string::npos);
  EXPECT_TRUE(
      pairs.ends_with("|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
                      "Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf"));
}

TEST(FilterText, SmallRegistriesAndBaseClasses) {
  FormatRegistry empty;
  std::string filter = "x", masks = "x";
  empty.BuildFilter(Graphic::Class, filter, masks);
  EXPECT_EQ(filter, "");
  EXPECT_EQ(masks, "");

  FormatRegistry one;
  one.Add("Bmp", "Bitmaps", DibImage::Class);
  one.BuildFilter(Graphic::Class, filter, masks);
  EXPECT_EQ(filter, "Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(masks, "*.bmp");

  // Only classes derived from the base take part; an empty extension never does.
  FormatRegistry mixed;
  mixed.Add("ico", "Icons", IconGraphic::Class);
  mixed.Add("bmp", "Bitmaps", DibImage::Class);
  mixed.Add("", "Nothing", DibImage::Class);
  mixed.Add("jp2", "JPEG 2000", Jpeg2000Graphic::Class);
  mixed.BuildFilter(DibImage::Class, filter, masks);
  EXPECT_EQ(filter, "All (*.jp2;*.bmp)|*.jp2;*.bmp|JPEG 2000 (*.jp2)|*.jp2|Bitmaps (*.bmp)|*.bmp");
  mixed.BuildFilter(Jpeg2000Graphic::Class, filter, masks);
  EXPECT_EQ(filter, "JPEG 2000 (*.jp2)|*.jp2");
}

}  // namespace
}  // namespace tessane
