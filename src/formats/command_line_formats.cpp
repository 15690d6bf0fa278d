#include "formats/command_line_formats.h"

#include <mutex>

#include "formats/heif/heif_graphic.h"
#include "formats/jxl/jxl_graphic.h"
#include "formats/format_registry.h"
#include "formats/webp/webp_graphic.h"

namespace tessane {

void RegisterCommandLineFormats() {
  RegisterStandardFormats();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFormat("heic", "HEIF images", MakeGraphic<HeifGraphic>);
    RegisterFormat("heif", "HEIF images", MakeGraphic<HeifGraphic>);
    RegisterFormat("hif", "HEIF images", MakeGraphic<HeifGraphic>);
    RegisterFormat("avif", "AVIF images", MakeGraphic<AvifGraphic>);
    RegisterFormat("webp", "WebP images", MakeGraphic<WebpGraphic>);
    RegisterFormat("jxl", "JPEG XL images", MakeGraphic<JxlGraphic>);
  });
}

}  // namespace tessane
