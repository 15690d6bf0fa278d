#include "formats/picture_need.h"

#include <utility>

#include "base/paths.h"
#include "formats/bmp/dib_image.h"
#include "formats/format_registry.h"
#include "formats/gif/gif_graphic.h"
#include "formats/heif/heif_graphic.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/jxl/jxl_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/png/png_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"
#include "formats/tiff/tiff_graphic.h"
#include "formats/webp/webp_graphic.h"

namespace tessane {

namespace {

// The probe of each reader class, by the factory the registry holds for it.
constexpr std::pair<GraphicFactory, DecodeNeedProbe> kProbes[] = {
    {MakeGraphic<PngGraphic>, PngDecodeNeed},   {MakeGraphic<GifGraphic>, GifDecodeNeed},
    {MakeGraphic<JpegGraphic>, JpegDecodeNeed}, {MakeGraphic<DibImage>, BmpDecodeNeed},
    {MakeGraphic<TiffGraphic>, TiffDecodeNeed}, {MakeGraphic<WebpGraphic>, WebpDecodeNeed},
    {MakeGraphic<JxlGraphic>, JxlDecodeNeed},   {MakeGraphic<HeifGraphic>, HeifDecodeNeed},
    {MakeGraphic<AvifGraphic>, HeifDecodeNeed}, {MakeGraphic<TgaGraphic>, TgaDecodeNeed},
    {MakeGraphic<PcxGraphic>, PcxDecodeNeed},   {MakeGraphic<SgiGraphic>, SgiDecodeNeed},
    {MakeGraphic<PsdGraphic>, PsdDecodeNeed},
};

}  // namespace

std::optional<DecodeNeed> ProbeDecodeNeed(const std::string& path, int64_t& file_size) {
  FileStream file(path, FileMode::kOpenRead);
  file_size = file.Size();
  std::string ext = ExtractFileExt(path);
  if (!ext.empty()) ext.erase(0, 1);
  const FileFormat* format = FindFormat(ext);
  if (format == nullptr) return std::nullopt;
  for (const auto& [create, probe] : kProbes) {
    if (create != format->create) continue;
    try {
      return probe(file, file_size);
    } catch (const std::exception&) {
      return std::nullopt;  // the reader says what is wrong with the file
    }
  }
  return std::nullopt;
}

}  // namespace tessane
