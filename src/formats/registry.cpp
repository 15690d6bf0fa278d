#include "formats/registry.h"

#include <mutex>

#include "base/paths.h"
#include "formats/autodesk.h"
#include "formats/bitmap.h"
#include "formats/cut.h"
#include "formats/eps.h"
#include "formats/gif_image.h"
#include "formats/icon.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/legacy_graphics.h"
#include "formats/metafile.h"
#include "formats/pcd.h"
#include "formats/pcx.h"
#include "formats/png_image.h"
#include "formats/ppm.h"
#include "formats/psd.h"
#include "formats/psp.h"
#include "formats/rla.h"
#include "formats/sgi.h"
#include "formats/targa.h"
#include "formats/tiff.h"

namespace tessane {

void TFileFormatsList::Add(const std::string& ext, const std::string& caption,
                           const TGraphicClass& cls) {
  entries_.push_back(TFileFormat{&cls, LowerCaseAscii(ext), caption});
}

const TGraphicClass* TFileFormatsList::FindExt(const std::string& ext) const {
  const std::string wanted = LowerCaseAscii(ext);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->Ext == wanted) return it->ClassRef;
  return nullptr;
}

void TFileFormatsList::BuildFilter(const TGraphicClass& base, std::string& filter,
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

TFileFormatsList& FormatRegistry() {
  static TFileFormatsList registry = [] {
    TFileFormatsList list;
    list.Add("wmf", "Metafiles", TMetafile::Class);
    list.Add("emf", "Enhanced Metafiles", TMetafile::Class);
    list.Add("ico", "Icons", TIcon::Class);
    list.Add("bmp", "Bitmaps", TBitmap::Class);
    return list;
  }();
  return registry;
}

void RegisterFormat(const std::string& ext, const std::string& caption, const TGraphicClass& cls) {
  FormatRegistry().Add(ext, caption, cls);
}

const TGraphicClass* FindFormatClass(const std::string& ext) {
  return FormatRegistry().FindExt(ext);
}

std::string PictureFilter(const TGraphicClass& base) {
  std::string filter, masks;
  FormatRegistry().BuildFilter(base, filter, masks);
  return filter;
}

void RegisterStandardFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFormat("jpeg", "JPEG Image File", TJPEGImage::Class);
    RegisterFormat("jpg", "JPEG Image File", TJPEGImage::Class);

    RegisterFormat("bmp", "Windows bitmaps", TBitmap::Class);
    RegisterFormat("ico", "Windows icons", TIcon::Class);
    RegisterFormat("wmf", "Windows metafiles", TMetafile::Class);
    RegisterFormat("emf", "Windows enhanced meta files", TMetafile::Class);
    RegisterFormat("jfif", "JFIF images", TJPEGImage::Class);
    RegisterFormat("jpg", "JPG images", TJPEGImage::Class);
    RegisterFormat("jpe", "JPE images", TJPEGImage::Class);
    RegisterFormat("jpeg", "JPEG images", TJPEGImage::Class);
    RegisterFormat("rle", "Run length encoded Windows bitmaps", TBitmap::Class);
    RegisterFormat("dib", "Device independant Windows bitmaps", TBitmap::Class);
    RegisterFormat("win", "Truevision images", TTargaGraphic::Class);
    RegisterFormat("vst", "Truevision images", TTargaGraphic::Class);
    RegisterFormat("vda", "Truevision images", TTargaGraphic::Class);
    RegisterFormat("tga", "Truevision images", TTargaGraphic::Class);
    RegisterFormat("icb", "Truevision images", TTargaGraphic::Class);
    RegisterFormat("tiff", "Macintosh TIFF images", TTIFFGraphic::Class);
    RegisterFormat("tif", "PC TIF images", TTIFFGraphic::Class);
    RegisterFormat("fax", "GFI fax images", TTIFFGraphic::Class);
    RegisterFormat("eps", "Encapsulated Postscript images", TEPSGraphic::Class);
    RegisterFormat("pcx", "ZSoft Paintbrush images", TPCXGraphic::Class);
    RegisterFormat("pcc", "ZSoft Paintbrush images", TPCXGraphic::Class);
    RegisterFormat("scr", "Word 5.x screen capture images", TPCXGraphic::Class);
    RegisterFormat("rpf", "Alias/Wavefront images", TRLAGraphic::Class);
    RegisterFormat("rla", "Alias/Wavefront images", TRLAGraphic::Class);
    RegisterFormat("sgi", "SGI true color images", TSGIGraphic::Class);
    RegisterFormat("rgba", "SGI true color images with alpha", TSGIGraphic::Class);
    RegisterFormat("rgb", "SGI true color images", TSGIGraphic::Class);
    RegisterFormat("bw", "SGI black/white images", TSGIGraphic::Class);
    RegisterFormat("psd", "Photoshop images", TPSDGraphic::Class);
    RegisterFormat("pdd", "Photoshop images", TPSDGraphic::Class);
    RegisterFormat("ppm", "Portable pixel map images", TPPMGraphic::Class);
    RegisterFormat("pgm", "Portable gray map images", TPPMGraphic::Class);
    RegisterFormat("pbm", "Portable bitmap images", TPPMGraphic::Class);
    RegisterFormat("cel", "Autodesk images", TAutodeskGraphic::Class);
    RegisterFormat("pic", "Autodesk images", TAutodeskGraphic::Class);
    RegisterFormat("pcd", "Kodak Photo-CD images", TPCDGraphic::Class);
    RegisterFormat("gif", "CompuServe images", TGIFGraphic::Class);
    RegisterFormat("cut", "Dr. Halo images", TCUTGraphic::Class);
    RegisterFormat("psp", "Paintshop Pro images", TPSPGraphic::Class);
    RegisterFormat("png", "Portable network graphic images", TPNGGraphic::Class);

    RegisterFormat("jp2", "JPEG 2000 Image", TJpeg2000Bitmap::Class);
    RegisterFormat("j2k", "JPEG 2000 Image", TJpeg2000Bitmap::Class);
    RegisterFormat("jpc", "JPEG 2000 Image", TJpeg2000Bitmap::Class);

    RegisterFormat("GIF", "GIF Image", TGIFImage::Class);
    RegisterFormat("PNG", "Portable Network Graphics", TPNGObject::Class);
  });
}

}  // namespace tessane
