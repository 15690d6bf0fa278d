#pragma once
// The date of a source for output names.

#include <ctime>
#include <optional>
#include <string>

#include "formats/metadata/exif_date.h"

namespace tessane {

/// The date of a source file for names: its EXIF DateTimeOriginal when it is a JPEG file that
/// has one, else its modification time in local time. Nothing when neither can be read.
std::optional<std::tm> SourceDate(const std::string& path);

}  // namespace tessane
