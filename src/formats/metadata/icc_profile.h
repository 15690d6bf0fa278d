#pragma once
// The ICC profile a PNG (iCCP) or TIFF (tag 34675 of the first picture) file carries.

#include <cstdint>
#include <vector>

namespace tessane {

/// The profile of the bytes of a PNG file, and of a TIFF file; empty when the file carries none,
/// says it is sRGB (a PNG sRGB chunk), or holds one that cannot be read out whole. Never throws
/// for bad data.
std::vector<uint8_t> PngIccProfile(const std::vector<uint8_t>& file);
std::vector<uint8_t> TiffIccProfile(const std::vector<uint8_t>& file);

}  // namespace tessane
