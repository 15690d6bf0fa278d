#pragma once
// Device-independent bitmaps inside metafile records, decoded by the program's own BMP reader.

#include <QImage>

#include "base/byte_view.h"

namespace tessane {

/// Bytes of the BITMAPINFO (header, colour masks, colour table) that starts a packed DIB, as
/// Windows metafile records carry it; 0 when the header is not readable or does not fit `dib`.
/// `paletteIndices` is true for DIB_PAL_COLORS tables (2-byte entries).
size_t PackedDibInfoSize(ByteView dib, bool paletteIndices);

/// Decodes a DIB given as its BITMAPINFO and its pixel bits into an ARGB32 image, top row
/// first. Without `keepAlpha` every pixel is opaque, as plain bitmap copies ignore the fourth
/// byte. Returns a null image for anything that cannot be decoded (bad header, compressed JPEG/PNG
/// payloads, more than `maxPixels` or beyond the picture limits, too few bits); never reads
/// outside the two views.
QImage DecodeMetafileDib(ByteView info, ByteView bits, bool keepAlpha,
                         int64_t maxPixels = int64_t{1} << 28);

}  // namespace tessane
