// Fuzz target: the profile readers of --colour srgb (PNG iCCP with its zlib stream, TIFF's
// profile tag) on any bytes, and a profile found handed to the sRGB conversion, which gives it
// to Little CMS.
#include <string>
#include <vector>

#include "formats/metadata/icc_profile.h"
#include "jobs/srgb_conversion.h"

using namespace tessane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  for (const std::vector<uint8_t>& icc : {PngIccProfile(file), TiffIccProfile(file), file}) {
    if (icc.empty()) continue;
    std::vector<std::string> warnings;
    SrgbConversion::ForProfile(icc, warnings);
  }
  return 0;
}
