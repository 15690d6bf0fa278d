#pragma once
// The date a picture was taken, for output names: EXIF DateTimeOriginal of a JPEG file.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace tessane {

/// DateTimeOriginal (tag 0x9003 of the Exif IFD) of an APP1 "Exif\0\0" payload as a broken-down
/// local time; nothing when absent, unreadable or not a valid "YYYY:MM:DD HH:MM:SS" date.
std::optional<std::tm> ExifDateTimeOriginal(const std::vector<uint8_t>& exifPayload);

/// The date of a source file for names: its EXIF DateTimeOriginal when it is a JPEG file that
/// has one, else its modification time in local time. Nothing when neither can be read.
std::optional<std::tm> SourceDate(const std::string& path);

}  // namespace tessane
