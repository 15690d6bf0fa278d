#include "formats/format_registry.h"

#include <mutex>

#include "base/paths.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/bmp/dib_image.h"
#include "formats/halo_cut/halo_cut_graphic.h"
#include "formats/eps/eps_graphic.h"
#include "formats/gif/gif_graphic.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/legacy_graphics.h"
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

void FormatRegistry::Add(const std::string& ext, const std::string& caption,
                         const GraphicClass& cls, bool needsFonts) {
  entries_.push_back(FileFormat{&cls, LowerCaseAscii(ext), caption, needsFonts});
}

const FileFormat* FormatRegistry::Find(const std::string& ext) const {
  const std::string wanted = LowerCaseAscii(ext);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->Ext == wanted) return &*it;
  return nullptr;
}

const GraphicClass* FormatRegistry::FindExt(const std::string& ext) const {
  const FileFormat* format = Find(ext);
  return format != nullptr ? format->ClassRef : nullptr;
}

bool FormatRegistry::NeedsFonts(const std::string& ext) const {
  const FileFormat* format = Find(ext);
  return format != nullptr && format->needs_fonts;
}

void FormatRegistry::BuildFilter(const GraphicClass& base, std::string& filter,
                                   std::string& masks) const {
  filter.clear();
  masks.clear();
  int n = 0;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (!it->ClassRef->InheritsFrom(base) || it->Ext.empty()) continue;
    if (n > 0) {
      filter += '|';
      masks += ';';
    }
    filter += it->Caption + " (*." + it->Ext + ")|*." + it->Ext;
    masks += "*." + it->Ext;
    ++n;
  }
  if (n > 1) filter = "All (" + masks + ")|" + masks + "|" + filter;
}

FormatRegistry& Formats() {
  static FormatRegistry registry = [] {
    FormatRegistry list;
    list.Add("wmf", "Metafiles", MetafileGraphic::Class, true);
    list.Add("emf", "Enhanced Metafiles", MetafileGraphic::Class, true);
    list.Add("ico", "Icons", IconGraphic::Class);
    list.Add("bmp", "Bitmaps", DibImage::Class);
    return list;
  }();
  return registry;
}

void RegisterFormat(const std::string& ext, const std::string& caption, const GraphicClass& cls,
                    bool needsFonts) {
  Formats().Add(ext, caption, cls, needsFonts);
}

bool FormatNeedsFonts(const std::string& ext) {
  RegisterStandardFormats();
  return Formats().NeedsFonts(ext);
}

const GraphicClass* FindFormatClass(const std::string& ext) {
  return Formats().FindExt(ext);
}

std::string PictureFilter(const GraphicClass& base) {
  std::string filter, masks;
  Formats().BuildFilter(base, filter, masks);
  return filter;
}

void RegisterStandardFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFormat("jpeg", "JPEG Image File", JpegGraphic::Class);
    RegisterFormat("jpg", "JPEG Image File", JpegGraphic::Class);

    RegisterFormat("bmp", "Windows bitmaps", DibImage::Class);
    RegisterFormat("ico", "Windows icons", IconGraphic::Class);
    RegisterFormat("wmf", "Windows metafiles", MetafileGraphic::Class, true);
    RegisterFormat("emf", "Windows enhanced meta files", MetafileGraphic::Class, true);
    RegisterFormat("jfif", "JFIF images", JpegGraphic::Class);
    RegisterFormat("jpg", "JPG images", JpegGraphic::Class);
    RegisterFormat("jpe", "JPE images", JpegGraphic::Class);
    RegisterFormat("jpeg", "JPEG images", JpegGraphic::Class);
    RegisterFormat("rle", "Run length encoded Windows bitmaps", DibImage::Class);
    RegisterFormat("dib", "Device independant Windows bitmaps", DibImage::Class);
    RegisterFormat("win", "Truevision images", TgaGraphic::Class);
    RegisterFormat("vst", "Truevision images", TgaGraphic::Class);
    RegisterFormat("vda", "Truevision images", TgaGraphic::Class);
    RegisterFormat("tga", "Truevision images", TgaGraphic::Class);
    RegisterFormat("icb", "Truevision images", TgaGraphic::Class);
    RegisterFormat("tiff", "Macintosh TIFF images", TiffGraphic::Class);
    RegisterFormat("tif", "PC TIF images", TiffGraphic::Class);
    RegisterFormat("fax", "GFI fax images", TiffGraphic::Class);
    RegisterFormat("eps", "Encapsulated Postscript images", EpsGraphic::Class);
    RegisterFormat("pcx", "ZSoft Paintbrush images", PcxGraphic::Class);
    RegisterFormat("pcc", "ZSoft Paintbrush images", PcxGraphic::Class);
    RegisterFormat("scr", "Word 5.x screen capture images", PcxGraphic::Class);
    RegisterFormat("rpf", "Alias/Wavefront images", RlaGraphic::Class);
    RegisterFormat("rla", "Alias/Wavefront images", RlaGraphic::Class);
    RegisterFormat("sgi", "SGI true color images", SgiGraphic::Class);
    RegisterFormat("rgba", "SGI true color images with alpha", SgiGraphic::Class);
    RegisterFormat("rgb", "SGI true color images", SgiGraphic::Class);
    RegisterFormat("bw", "SGI black/white images", SgiGraphic::Class);
    RegisterFormat("psd", "Photoshop images", PsdGraphic::Class);
    RegisterFormat("pdd", "Photoshop images", PsdGraphic::Class);
    RegisterFormat("ppm", "Portable pixel map images", PpmGraphic::Class);
    RegisterFormat("pgm", "Portable gray map images", PpmGraphic::Class);
    RegisterFormat("pbm", "Portable bitmap images", PpmGraphic::Class);
    RegisterFormat("cel", "Autodesk images", AutodeskGraphic::Class);
    RegisterFormat("pic", "Autodesk images", AutodeskGraphic::Class);
    RegisterFormat("pcd", "Kodak Photo-CD images", PcdGraphic::Class);
    RegisterFormat("gif", "CompuServe images", LegacyGifGraphic::Class);
    RegisterFormat("cut", "Dr. Halo images", HaloCutGraphic::Class);
    RegisterFormat("psp", "Paintshop Pro images", PspGraphic::Class);
    RegisterFormat("png", "Portable network graphic images", LegacyPngGraphic::Class);

    RegisterFormat("jp2", "JPEG 2000 Image", Jpeg2000Graphic::Class);
    RegisterFormat("j2k", "JPEG 2000 Image", Jpeg2000Graphic::Class);
    RegisterFormat("jpc", "JPEG 2000 Image", Jpeg2000Graphic::Class);

    RegisterFormat("GIF", "GIF Image", GifGraphic::Class);
    RegisterFormat("PNG", "Portable Network Graphics", PngGraphic::Class);
  });
}

}  // namespace tessane
