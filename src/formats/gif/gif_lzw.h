#pragma once
// The variable-length LZW coding of GIF image data (codes of up to 12 bits, packed least
// significant bit first).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessane {

/// Decodes GIF LZW data into rows of `width` pixels, handing each completed row to `on_row`
/// (row number in stream order, pixels). Stops once `height` rows are complete, even without an
/// end-of-information code. Literal codes are passed on as they are; checking them against a
/// colour table is the caller's task. Throws InvalidImageError with "Decoder bit buffer under-run"
/// when the data ends before the rows are complete and before an end code, and "Circular decoder
/// table entry" for a code that is not yet in the table. An end code that arrives early leaves
/// the remaining rows undelivered. `min_code_size` must be 1 to 8.
void DecodeGifLzw(const uint8_t* data, size_t size, int min_code_size, uint32_t width,
                  uint32_t height, const std::function<void(uint32_t, const uint8_t*)>& on_row);

/// Encodes pixel indices (each below 2^min_code_size) as GIF LZW data in sub-blocks of at most
/// 255 bytes, followed by the block terminator. The stream starts with a clear code; the table
/// restarts with a clear code after code 4094 has been assigned; it ends with the pending code
/// and the end-of-information code. `min_code_size` must be 2 to 8.
void EncodeGifLzw(const uint8_t* pixels, size_t count, int min_code_size,
                  std::vector<uint8_t>& out);

}  // namespace tessane
