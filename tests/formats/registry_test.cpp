// The format registry after start-up, its lookups and the filter text built from it.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "formats/autodesk/autodesk_graphic.h"
#include "formats/bmp/dib_image.h"
#include "formats/eps/eps_graphic.h"
#include "formats/format_registry.h"
#include "formats/gif/gif_graphic.h"
#include "formats/halo_cut/halo_cut_graphic.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/pcd/pcd_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/png/png_graphic.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/psp/psp_graphic.h"
#include "formats/rla/rla_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"
#include "formats/tiff/tiff_graphic.h"

namespace tessane {
namespace {

struct Row {
  const char* ext;
  const char* caption;
  const std::type_info* type;  // of the graphic the entry creates
};

const Row kExpected[] = {
    {"wmf", "Metafiles", &typeid(MetafileGraphic)},
    {"emf", "Enhanced Metafiles", &typeid(MetafileGraphic)},
    {"ico", "Icons", &typeid(IconGraphic)},
    {"bmp", "Bitmaps", &typeid(DibImage)},
    {"jpeg", "JPEG Image File", &typeid(JpegGraphic)},
    {"jpg", "JPEG Image File", &typeid(JpegGraphic)},
    {"bmp", "Windows bitmaps", &typeid(DibImage)},
    {"ico", "Windows icons", &typeid(IconGraphic)},
    {"wmf", "Windows metafiles", &typeid(MetafileGraphic)},
    {"emf", "Windows enhanced meta files", &typeid(MetafileGraphic)},
    {"jfif", "JFIF images", &typeid(JpegGraphic)},
    {"jpg", "JPG images", &typeid(JpegGraphic)},
    {"jpe", "JPE images", &typeid(JpegGraphic)},
    {"jpeg", "JPEG images", &typeid(JpegGraphic)},
    {"rle", "Run length encoded Windows bitmaps", &typeid(DibImage)},
    {"dib", "Device independant Windows bitmaps", &typeid(DibImage)},
    {"win", "Truevision images", &typeid(TgaGraphic)},
    {"vst", "Truevision images", &typeid(TgaGraphic)},
    {"vda", "Truevision images", &typeid(TgaGraphic)},
    {"tga", "Truevision images", &typeid(TgaGraphic)},
    {"icb", "Truevision images", &typeid(TgaGraphic)},
    {"tiff", "Macintosh TIFF images", &typeid(TiffGraphic)},
    {"tif", "PC TIF images", &typeid(TiffGraphic)},
    {"fax", "GFI fax images", &typeid(TiffGraphic)},
    {"eps", "Encapsulated Postscript images", &typeid(EpsGraphic)},
    {"pcx", "ZSoft Paintbrush images", &typeid(PcxGraphic)},
    {"pcc", "ZSoft Paintbrush images", &typeid(PcxGraphic)},
    {"scr", "Word 5.x screen capture images", &typeid(PcxGraphic)},
    {"rpf", "Alias/Wavefront images", &typeid(RlaGraphic)},
    {"rla", "Alias/Wavefront images", &typeid(RlaGraphic)},
    {"sgi", "SGI true color images", &typeid(SgiGraphic)},
    {"rgba", "SGI true color images with alpha", &typeid(SgiGraphic)},
    {"rgb", "SGI true color images", &typeid(SgiGraphic)},
    {"bw", "SGI black/white images", &typeid(SgiGraphic)},
    {"psd", "Photoshop images", &typeid(PsdGraphic)},
    {"pdd", "Photoshop images", &typeid(PsdGraphic)},
    {"ppm", "Portable pixel map images", &typeid(PpmGraphic)},
    {"pgm", "Portable gray map images", &typeid(PpmGraphic)},
    {"pbm", "Portable bitmap images", &typeid(PpmGraphic)},
    {"cel", "Autodesk images", &typeid(AutodeskGraphic)},
    {"pic", "Autodesk images", &typeid(AutodeskGraphic)},
    {"pcd", "Kodak Photo-CD images", &typeid(PcdGraphic)},
    {"gif", "CompuServe images", &typeid(GifGraphic)},
    {"cut", "Dr. Halo images", &typeid(HaloCutGraphic)},
    {"psp", "Paintshop Pro images", &typeid(PspGraphic)},
    {"png", "Portable network graphic images", &typeid(PngGraphic)},
    {"jp2", "JPEG 2000 Image", &typeid(Jpeg2000Graphic)},
    {"j2k", "JPEG 2000 Image", &typeid(Jpeg2000Graphic)},
    {"jpc", "JPEG 2000 Image", &typeid(Jpeg2000Graphic)},
    {"gif", "GIF Image", &typeid(GifGraphic)},
    {"png", "Portable Network Graphics", &typeid(PngGraphic)},
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
    EXPECT_EQ(entries[i].ext, kExpected[i].ext);
    EXPECT_EQ(entries[i].caption, kExpected[i].caption);
    const std::unique_ptr<Graphic> graphic = entries[i].create();
    ASSERT_NE(graphic, nullptr);
    EXPECT_EQ(typeid(*graphic), *kExpected[i].type);
  }
}

// The newest entry for an extension wins, whatever the letter case of the question.
TEST_F(RegistryTest, LookupIgnoresCaseAndTakesTheNewestEntry) {
  const struct {
    const char* ext;
    const std::type_info* type;  // nullptr: no entry
  } cases[] = {
      {"jpg", &typeid(JpegGraphic)},
      {"PHOTO", nullptr},
      {"JPG", &typeid(JpegGraphic)},
      {"Jpe", &typeid(JpegGraphic)},
      {"gif", &typeid(GifGraphic)},
      {"png", &typeid(PngGraphic)},
      {"PnG", &typeid(PngGraphic)},
      {"bmp", &typeid(DibImage)},
      {"ico", &typeid(IconGraphic)},
      {"emf", &typeid(MetafileGraphic)},
      {"jpc", &typeid(Jpeg2000Graphic)},
      {"", nullptr},
      {"jp", nullptr},
      {".jpg", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "'" << c.ext << "'");
    const FileFormat* format = FindFormat(c.ext);
    ASSERT_EQ(format == nullptr, c.type == nullptr);
    if (format == nullptr) continue;
    const std::unique_ptr<Graphic> graphic = format->create();
    EXPECT_EQ(typeid(*graphic), *c.type);
  }

  FormatRegistry local;
  local.Add("ABC", "First", MakeGraphic<DibImage>);
  local.Add("abc", "Second", MakeGraphic<IconGraphic>);
  ASSERT_NE(local.FindExt("aBc"), nullptr);
  EXPECT_EQ(local.FindExt("aBc")->caption, "Second");
  EXPECT_EQ(local.Entries()[0].ext, "abc");
  EXPECT_EQ(local.Entries().size(), 2u);
}

// The metafile formats, and only they, say that drawing them may need fonts; the newest entry
// of an extension decides.
TEST_F(RegistryTest, OnlyMetafilesNeedFonts) {
  for (const FileFormat& entry : Formats().Entries())
    EXPECT_EQ(entry.needs_fonts, dynamic_cast<MetafileGraphic*>(entry.create().get()) != nullptr)
        << entry.ext;
  const struct {
    const char* ext;
    bool needs;
  } cases[] = {{"emf", true}, {"WMF", true}, {"jpg", false}, {"png", false},
               {"bmp", false}, {"", false},  {"emf2", false}};
  for (const auto& c : cases) EXPECT_EQ(FormatNeedsFonts(c.ext), c.needs) << "'" << c.ext << "'";

  FormatRegistry local;
  local.Add("xyz", "Drawn with text", MakeGraphic<MetafileGraphic>, true);
  EXPECT_TRUE(local.FindExt("XYZ")->needs_fonts);
  local.Add("xyz", "Plain pixels", MakeGraphic<DibImage>);
  EXPECT_FALSE(local.FindExt("xyz")->needs_fonts);
}

TEST_F(RegistryTest, FilterTextAfterStartUp) {
  std::string filter, masks;
  Formats().BuildFilter(filter, masks);
  EXPECT_EQ(filter, PictureFilter());
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

TEST(FilterText, SmallRegistries) {
  FormatRegistry empty;
  std::string filter = "x", masks = "x";
  empty.BuildFilter(filter, masks);
  EXPECT_EQ(filter, "");
  EXPECT_EQ(masks, "");

  FormatRegistry one;
  one.Add("Bmp", "Bitmaps", MakeGraphic<DibImage>);
  one.BuildFilter(filter, masks);
  EXPECT_EQ(filter, "Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(masks, "*.bmp");

  // Newest first; an empty extension never takes part.
  FormatRegistry mixed;
  mixed.Add("bmp", "Bitmaps", MakeGraphic<DibImage>);
  mixed.Add("", "Nothing", MakeGraphic<DibImage>);
  mixed.Add("jp2", "JPEG 2000", MakeGraphic<Jpeg2000Graphic>);
  mixed.BuildFilter(filter, masks);
  EXPECT_EQ(filter, "All (*.jp2;*.bmp)|*.jp2;*.bmp|JPEG 2000 (*.jp2)|*.jp2|Bitmaps (*.bmp)|*.bmp");
}

}  // namespace
}  // namespace tessane
