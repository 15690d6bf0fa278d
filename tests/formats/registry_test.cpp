// The format registry after start-up, its lookups and the filter text built from it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/bitmap.h"
#include "formats/gif_image.h"
#include "formats/icon.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/metafile.h"
#include "formats/png_image.h"
#include "formats/registry.h"

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
  const std::vector<TFileFormat>& entries = FormatRegistry().Entries();
  ASSERT_EQ(entries.size(), std::size(kExpected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_EQ(entries[i].Ext, kExpected[i].ext);
    EXPECT_EQ(entries[i].Caption, kExpected[i].caption);
    EXPECT_STREQ(entries[i].ClassRef->Name, kExpected[i].className);
    EXPECT_TRUE(entries[i].ClassRef->InheritsFrom(TGraphic::Class));
  }
}

// The newest entry for an extension wins, whatever the letter case of the question.
TEST_F(RegistryTest, LookupIgnoresCaseAndTakesTheNewestEntry) {
  const struct {
    const char* ext;
    const TGraphicClass* cls;
  } cases[] = {
      {"jpg", &TJPEGImage::Class},
      {"PHOTO", nullptr},
      {"JPG", &TJPEGImage::Class},
      {"Jpe", &TJPEGImage::Class},
      {"gif", &TGIFImage::Class},
      {"png", &TPNGObject::Class},
      {"PnG", &TPNGObject::Class},
      {"bmp", &TBitmap::Class},
      {"ico", &TIcon::Class},
      {"emf", &TMetafile::Class},
      {"jpc", &TJpeg2000Bitmap::Class},
      {"", nullptr},
      {"jp", nullptr},
      {".jpg", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(FindFormatClass(c.ext), c.cls) << "'" << c.ext << "'";

  TFileFormatsList local;
  local.Add("ABC", "First", TBitmap::Class);
  local.Add("abc", "Second", TIcon::Class);
  EXPECT_EQ(local.FindExt("aBc"), &TIcon::Class);
  EXPECT_EQ(local.Entries()[0].Ext, "abc");
  EXPECT_EQ(local.Entries().size(), 2u);
}

TEST_F(RegistryTest, FilterTextAfterStartUp) {
  std::string filter, masks;
  FormatRegistry().BuildFilter(TGraphic::Class, filter, masks);
  EXPECT_EQ(filter, PictureFilter(TGraphic::Class));
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
  TFileFormatsList empty;
  std::string filter = "x", masks = "x";
  empty.BuildFilter(TGraphic::Class, filter, masks);
  EXPECT_EQ(filter, "");
  EXPECT_EQ(masks, "");

  TFileFormatsList one;
  one.Add("Bmp", "Bitmaps", TBitmap::Class);
  one.BuildFilter(TGraphic::Class, filter, masks);
  EXPECT_EQ(filter, "Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(masks, "*.bmp");

  // Only classes derived from the base take part; an empty extension never does.
  TFileFormatsList mixed;
  mixed.Add("ico", "Icons", TIcon::Class);
  mixed.Add("bmp", "Bitmaps", TBitmap::Class);
  mixed.Add("", "Nothing", TBitmap::Class);
  mixed.Add("jp2", "JPEG 2000", TJpeg2000Bitmap::Class);
  mixed.BuildFilter(TBitmap::Class, filter, masks);
  EXPECT_EQ(filter, "All (*.jp2;*.bmp)|*.jp2;*.bmp|JPEG 2000 (*.jp2)|*.jp2|Bitmaps (*.bmp)|*.bmp");
  mixed.BuildFilter(TJpeg2000Bitmap::Class, filter, masks);
  EXPECT_EQ(filter, "JPEG 2000 (*.jp2)|*.jp2");
}

}  // namespace
}  // namespace tessane
