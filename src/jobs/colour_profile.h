#pragma once
// The ICC profile a source file carries: JPEG (APP2 chunks), PNG (iCCP), TIFF (tag 34675 of the
// first picture), or whatever a graphic hands over through EmbeddedIccProfile.

#include <cstdint>
#include <string>
#include <vector>

namespace tessane {

class Graphic;

/// The profile of the source at `path`, loaded as `graphic`; empty when the file carries none,
/// says it is sRGB (a PNG sRGB chunk), or holds one that cannot be read out whole. The file's
/// kind is told by its first bytes. Never throws for bad data; throws when the file cannot be
/// opened.
std::vector<uint8_t> ReadIccProfile(const std::string& path, const Graphic* graphic);

/// The same for the bytes of a PNG file and of a TIFF file (exposed for tests and fuzzing).
std::vector<uint8_t> PngIccProfile(const std::vector<uint8_t>& file);
std::vector<uint8_t> TiffIccProfile(const std::vector<uint8_t>& file);

}  // namespace tessane
