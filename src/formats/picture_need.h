#pragma once
// A source's decoding need, read from its header by the probe of the format its extension
// names (formats/decode_need.h), before anything of its pixels is decoded.

#include <cstdint>
#include <optional>
#include <string>

#include "formats/decode_need.h"

namespace tessane {

/// The need of loading the file at `path`, or nothing when its format has no probe or its
/// header is not one the reader accepts. Sets `file_size` either way. Throws the errors of
/// opening the file.
std::optional<DecodeNeed> ProbeDecodeNeed(const std::string& path, int64_t& file_size);

}  // namespace tessane
