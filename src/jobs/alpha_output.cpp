#include "jobs/alpha_output.h"

#include <algorithm>
#include <cstring>

#include "base/paths.h"
#include "formats/format_registry.h"
#include "formats/picture.h"
#include "pixels/argb_image.h"

namespace tessane {

bool OutputKeepsAlpha(const std::string& destName) {
  const WriterFormat* writer = FindWriter(LowerCaseAscii(ExtractFileExt(destName)));
  return writer != nullptr && writer->keeps_alpha;
}

bool AssignKeepingAlpha(ArgbImage& bitmap, const Picture& picture) {
  Graphic* graphic = picture.graphic();
  return graphic != nullptr && graphic->ConvertKeepingAlpha(bitmap);
}

bool PremultiplyAlpha(ArgbImage& bitmap) {
  if (bitmap.IsEmpty()) return false;
  const size_t count = static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height());
  Argb32* p = bitmap.Bits();
  bool any_visible = false, any_clear = false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t alpha = p[i] >> 24;
    any_visible |= alpha != 0;
    any_clear |= alpha != 255;
  }
  if (!any_visible || !any_clear) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t a = p[i] >> 24;
    if (a == 255) continue;
    Argb32 out = p[i] & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
      out |= ((((p[i] >> shift) & 0xFF) * a + 127) / 255) << shift;
    p[i] = out;
  }
  return true;
}

void UnpremultiplyAlpha(ArgbImage& bitmap) {
  if (bitmap.IsEmpty()) return;
  const size_t count = static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height());
  Argb32* p = bitmap.Bits();
  for (size_t i = 0; i < count; ++i) {
    const uint32_t a = p[i] >> 24;
    if (a == 255) continue;
    Argb32 out = p[i] & 0xFF000000u;
    if (a != 0)
      for (int shift = 0; shift < 24; shift += 8)
        out |= std::min<uint32_t>(255, (((p[i] >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
    p[i] = out;
  }
}

}  // namespace tessane
