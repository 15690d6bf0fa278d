#include "formats/command_line_formats.h"

#include <mutex>

#include "formats/heif_graphic.h"
#include "formats/jxl_graphic.h"
#include "formats/format_registry.h"
#include "formats/webp_graphic.h"

namespace tessane {

void RegisterCommandLineFormats() {
  RegisterStandardFormats();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFormat("heic", "HEIF images", HeifGraphic::Class);
    RegisterFormat("heif", "HEIF images", HeifGraphic::Class);
    RegisterFormat("hif", "HEIF images", HeifGraphic::Class);
    RegisterFormat("avif", "AVIF images", AvifGraphic::Class);
    RegisterFormat("webp", "WebP images", WebpGraphic::Class);
    RegisterFormat("jxl", "JPEG XL images", JxlGraphic::Class);
  });
}

}  // namespace tessane
