#pragma once
// The PNG reader's SSE2 row unfiltering, built only for x86-64 with the vector paths on
// (TESSANE_X86_SIMD); other builds use the reader's byte loops, which give the same bytes.

#include <cstddef>
#include <cstdint>

namespace tessane::sse2 {

/// Reverses the Sub, Average or Paeth filter of a row of 3- or 4-byte pixels in place; `prior`
/// is the previous row (zeros first). Both rows must be followed by at least one readable byte.
/// Returns false, touching nothing, for other filters and pixel sizes.
bool UnfilterPixels(uint8_t type, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp);

}  // namespace tessane::sse2
