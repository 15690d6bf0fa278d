#include "formats/format_registry.h"

#include <mutex>

#include "base/paths.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/bmp/bmp_writer.h"
#include "formats/bmp/dib_image.h"
#include "formats/eps/eps_graphic.h"
#include "formats/gif/gif_graphic.h"
#include "formats/gif/gif_writer.h"
#include "formats/halo_cut/halo_cut_graphic.h"
#include "formats/ico/icon_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "formats/jpeg2000/jpeg2000_writer.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/metafile/metafile_writer.h"
#include "formats/pcd/pcd_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/png/png_graphic.h"
#include "formats/png/png_writer.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/psp/psp_graphic.h"
#include "formats/rla/rla_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"
#include "formats/tiff/tiff_graphic.h"
#include "formats/webp/webp_writer.h"
#include "formats/avif/avif_writer.h"

namespace tessane {

namespace {

void EncodeJpegOutput(const DibImage& bitmap, const EncodeSettings& settings, ByteStream& out) {
  EncodeJpeg(bitmap, {.quality = settings.quality.value_or(75)}, out);
}

void EncodePngOutput(const DibImage& bitmap, const EncodeSettings&, ByteStream& out) {
  EncodePng(bitmap,
            {.filters = PngGraphic::kPngFilterSub | PngGraphic::kPngFilterUp,
             .compression_level = 8},
            out);
}

void EncodeGifOutput(const DibImage& bitmap, const EncodeSettings&, ByteStream& out) {
  EncodeGif(bitmap, {.color_reduction = 8}, out);
}

void EncodeEmfOutput(const DibImage& bitmap, const EncodeSettings&, ByteStream& out) {
  EncodeEmf(bitmap, out);
}

void EncodeWmfOutput(const DibImage& bitmap, const EncodeSettings&, ByteStream& out) {
  EncodeWmf(bitmap, out);
}

void EncodeBmpOutput(const DibImage& bitmap, const EncodeSettings&, ByteStream& out) {
  EncodeBmp(bitmap, out);
}

void EncodeJpeg2000Output(const DibImage& bitmap, const EncodeSettings& settings, ByteStream& out) {
  EncodeJpeg2000(bitmap, {.lossless = false, .quality = 90, .icc = settings.icc}, out);
}

void EncodeWebpOutput(const DibImage& bitmap, const EncodeSettings& settings, ByteStream& out) {
  EncodeWebp(bitmap,
             {.quality = settings.quality.value_or(kDefaultWebpQuality),
              .lossless = settings.lossless,
              .exif = settings.exif,
              .icc = settings.icc,
              .xmp = settings.xmp},
             out);
}

void EncodeAvifOutput(const DibImage& bitmap, const EncodeSettings& settings, ByteStream& out) {
  EncodeAvif(bitmap,
             {.quality = settings.quality.value_or(kDefaultAvifQuality),
              .exif = settings.exif,
              .icc = settings.icc,
              .xmp = settings.xmp},
             out);
}

// The window's formats in its order, then the command's own, then the Windows metafile, which
// is written for extensions like ".wmf" but offered nowhere.
constexpr WriterFormat kWriters[] = {
    {".jpg", "JPEG", EncodeJpegOutput, MetadataCarrier::kJpegSegments},
    {".png", "PNG", EncodePngOutput, MetadataCarrier::kPngChunks},
    {".gif", "GIF", EncodeGifOutput},
    {".emf", "Enhanced metafile", EncodeEmfOutput},
    {".bmp", "Windows bitmap", EncodeBmpOutput},
    {".jp2", "JPEG 2000", EncodeJpeg2000Output, MetadataCarrier::kEncoder},
    {".webp", "WebP", EncodeWebpOutput, MetadataCarrier::kEncoder, true},
    {".avif", "AVIF", EncodeAvifOutput, MetadataCarrier::kEncoder, true},
    {".wmf", "Windows metafile", EncodeWmfOutput},
};
constexpr size_t kWindowWriters = 6;
constexpr size_t kCommandLineWriters = 8;
const WriterFormat& kAnyMetafileWriter = kWriters[kCommandLineWriters];

}  // namespace

std::span<const WriterFormat> OutputFormats() {
  return std::span<const WriterFormat>(kWriters).first(kWindowWriters);
}

std::span<const WriterFormat> CommandLineOutputFormats() {
  return std::span<const WriterFormat>(kWriters).first(kCommandLineWriters);
}

const WriterFormat* FindWriter(std::string_view ext) {
  for (const WriterFormat& writer : CommandLineOutputFormats())
    if (writer.ext == ext) return &writer;
  if (ext.find("mf") != std::string_view::npos) return &kAnyMetafileWriter;
  return nullptr;
}

std::string OutputExtensionsText() {
  std::string text;
  for (const WriterFormat& writer : CommandLineOutputFormats()) text += writer.ext;
  return text;
}

void FormatRegistry::Add(const std::string& ext, const std::string& caption,
                         GraphicFactory create, bool needsFonts) {
  entries_.push_back(FileFormat{LowerCaseAscii(ext), caption, create, needsFonts});
}

const FileFormat* FormatRegistry::FindExt(const std::string& ext) const {
  const std::string wanted = LowerCaseAscii(ext);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->ext == wanted) return &*it;
  return nullptr;
}

void FormatRegistry::BuildFilter(std::string& filter, std::string& masks) const {
  filter.clear();
  masks.clear();
  int n = 0;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->ext.empty()) continue;
    if (n > 0) {
      filter += '|';
      masks += ';';
    }
    filter += it->caption + " (*." + it->ext + ")|*." + it->ext;
    masks += "*." + it->ext;
    ++n;
  }
  if (n > 1) filter = "All (" + masks + ")|" + masks + "|" + filter;
}

FormatRegistry& Formats() {
  static FormatRegistry registry = [] {
    FormatRegistry list;
    list.Add("wmf", "Metafiles", MakeGraphic<MetafileGraphic>, true);
    list.Add("emf", "Enhanced Metafiles", MakeGraphic<MetafileGraphic>, true);
    list.Add("ico", "Icons", MakeGraphic<IconGraphic>);
    list.Add("bmp", "Bitmaps", MakeGraphic<DibImage>);
    return list;
  }();
  return registry;
}

void RegisterFormat(const std::string& ext, const std::string& caption, GraphicFactory create,
                    bool needsFonts) {
  Formats().Add(ext, caption, create, needsFonts);
}

bool FormatNeedsFonts(const std::string& ext) {
  RegisterStandardFormats();
  const FileFormat* format = FindFormat(ext);
  return format != nullptr && format->needs_fonts;
}

const FileFormat* FindFormat(const std::string& ext) {
  return Formats().FindExt(ext);
}

std::string PictureFilter() {
  std::string filter, masks;
  Formats().BuildFilter(filter, masks);
  return filter;
}

void RegisterStandardFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFormat("jpeg", "JPEG Image File", MakeGraphic<JpegGraphic>);
    RegisterFormat("jpg", "JPEG Image File", MakeGraphic<JpegGraphic>);

    RegisterFormat("bmp", "Windows bitmaps", MakeGraphic<DibImage>);
    RegisterFormat("ico", "Windows icons", MakeGraphic<IconGraphic>);
    RegisterFormat("wmf", "Windows metafiles", MakeGraphic<MetafileGraphic>, true);
    RegisterFormat("emf", "Windows enhanced meta files", MakeGraphic<MetafileGraphic>, true);
    RegisterFormat("jfif", "JFIF images", MakeGraphic<JpegGraphic>);
    RegisterFormat("jpg", "JPG images", MakeGraphic<JpegGraphic>);
    RegisterFormat("jpe", "JPE images", MakeGraphic<JpegGraphic>);
    RegisterFormat("jpeg", "JPEG images", MakeGraphic<JpegGraphic>);
    RegisterFormat("rle", "Run length encoded Windows bitmaps", MakeGraphic<DibImage>);
    RegisterFormat("dib", "Device independant Windows bitmaps", MakeGraphic<DibImage>);
    RegisterFormat("win", "Truevision images", MakeGraphic<TgaGraphic>);
    RegisterFormat("vst", "Truevision images", MakeGraphic<TgaGraphic>);
    RegisterFormat("vda", "Truevision images", MakeGraphic<TgaGraphic>);
    RegisterFormat("tga", "Truevision images", MakeGraphic<TgaGraphic>);
    RegisterFormat("icb", "Truevision images", MakeGraphic<TgaGraphic>);
    RegisterFormat("tiff", "Macintosh TIFF images", MakeGraphic<TiffGraphic>);
    RegisterFormat("tif", "PC TIF images", MakeGraphic<TiffGraphic>);
    RegisterFormat("fax", "GFI fax images", MakeGraphic<TiffGraphic>);
    RegisterFormat("eps", "Encapsulated Postscript images", MakeGraphic<EpsGraphic>);
    RegisterFormat("pcx", "ZSoft Paintbrush images", MakeGraphic<PcxGraphic>);
    RegisterFormat("pcc", "ZSoft Paintbrush images", MakeGraphic<PcxGraphic>);
    RegisterFormat("scr", "Word 5.x screen capture images", MakeGraphic<PcxGraphic>);
    RegisterFormat("rpf", "Alias/Wavefront images", MakeGraphic<RlaGraphic>);
    RegisterFormat("rla", "Alias/Wavefront images", MakeGraphic<RlaGraphic>);
    RegisterFormat("sgi", "SGI true color images", MakeGraphic<SgiGraphic>);
    RegisterFormat("rgba", "SGI true color images with alpha", MakeGraphic<SgiGraphic>);
    RegisterFormat("rgb", "SGI true color images", MakeGraphic<SgiGraphic>);
    RegisterFormat("bw", "SGI black/white images", MakeGraphic<SgiGraphic>);
    RegisterFormat("psd", "Photoshop images", MakeGraphic<PsdGraphic>);
    RegisterFormat("pdd", "Photoshop images", MakeGraphic<PsdGraphic>);
    RegisterFormat("ppm", "Portable pixel map images", MakeGraphic<PpmGraphic>);
    RegisterFormat("pgm", "Portable gray map images", MakeGraphic<PpmGraphic>);
    RegisterFormat("pbm", "Portable bitmap images", MakeGraphic<PpmGraphic>);
    RegisterFormat("cel", "Autodesk images", MakeGraphic<AutodeskGraphic>);
    RegisterFormat("pic", "Autodesk images", MakeGraphic<AutodeskGraphic>);
    RegisterFormat("pcd", "Kodak Photo-CD images", MakeGraphic<PcdGraphic>);
    // The gif and png rows here are always shadowed by the last two; they only add their
    // captions to the filter text.
    RegisterFormat("gif", "CompuServe images", MakeGraphic<GifGraphic>);
    RegisterFormat("cut", "Dr. Halo images", MakeGraphic<HaloCutGraphic>);
    RegisterFormat("psp", "Paintshop Pro images", MakeGraphic<PspGraphic>);
    RegisterFormat("png", "Portable network graphic images", MakeGraphic<PngGraphic>);

    RegisterFormat("jp2", "JPEG 2000 Image", MakeGraphic<Jpeg2000Graphic>);
    RegisterFormat("j2k", "JPEG 2000 Image", MakeGraphic<Jpeg2000Graphic>);
    RegisterFormat("jpc", "JPEG 2000 Image", MakeGraphic<Jpeg2000Graphic>);

    RegisterFormat("GIF", "GIF Image", MakeGraphic<GifGraphic>);
    RegisterFormat("PNG", "Portable Network Graphics", MakeGraphic<PngGraphic>);
  });
}

}  // namespace tessane
