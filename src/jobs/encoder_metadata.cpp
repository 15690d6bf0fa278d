#include "jobs/encoder_metadata.h"

#include <algorithm>
#include <string_view>

namespace tessane {

namespace {

constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::string_view kXmpId{"http://ns.adobe.com/xap/1.0/\0", 29};

bool StartsWith(const std::vector<uint8_t>& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool IsTiffHeader(const uint8_t* p, size_t size) {
  return size >= 8 && ((p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) ||
                       (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42));
}

}  // namespace

OutputMetadata MetadataForEncoder(const SourceMetadata& source, bool resetOrientation,
                                  int32_t width, int32_t height) {
  OutputMetadata out;
  if (StartsWith(source.exif, kExifId)) {
    const std::vector<uint8_t> exif =
        PrepareExifForOutput(source.exif, resetOrientation, width, height);
    if (IsTiffHeader(exif.data() + kExifId.size(), exif.size() - kExifId.size()))
      out.exif.assign(exif.begin() + kExifId.size(), exif.end());
  }
  if (!source.icc.empty()) out.icc = AssembleIccProfile(source.icc);
  for (const auto& xmp : source.xmp) {
    if (!StartsWith(xmp, kXmpId)) continue;
    out.xmp.assign(xmp.begin() + kXmpId.size(), xmp.end());
    break;
  }
  return out;
}

}  // namespace tessane
