#pragma once
// The canvases of a HEIF file's derived images (grids and overlays), read from the file's own
// boxes: libheif allocates and fills a derived image at the size its data names, which nothing
// ties to the size the item declares, so a few bytes could ask for gigabytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessane {

/// Checks every grid and overlay item of the file: its canvas must lie within the size its
/// image-size property declares and within the picture limits; and every coded picture (HEVC,
/// AV1): its coded frame must not exceed its declared size. Returns why it does not, or an
/// empty string (also for files whose boxes it cannot follow; libheif judges those).
std::string CheckDerivedCanvases(const uint8_t* data, size_t size);

/// The primary picture's size as its image-size property declares it, turned by its rotation;
/// false when the boxes do not name one.
bool DeclaredPrimarySize(const uint8_t* data, size_t size, int64_t& width, int64_t& height);

}  // namespace tessane
