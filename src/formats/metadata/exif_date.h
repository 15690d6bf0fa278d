#pragma once
// The date a picture was taken: EXIF DateTimeOriginal.

#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

namespace tessane {

/// DateTimeOriginal (tag 0x9003 of the Exif IFD) of an APP1 "Exif\0\0" payload as a broken-down
/// local time; nothing when absent, unreadable or not a valid "YYYY:MM:DD HH:MM:SS" date.
std::optional<std::tm> ExifDateTimeOriginal(const std::vector<uint8_t>& exifPayload);

}  // namespace tessane
