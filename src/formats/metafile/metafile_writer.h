#pragma once
// The metafile writer of resized pictures: one bitmap copy at the picture's own size.

#include <cstdint>

#include "base/stream.h"

namespace tessane {

class DibImage;

/// Writes a metafile of a `width` x `height` pixel picture whose drawing is `bitmap` copied at
/// (0, 0) in its own size; a null or empty bitmap draws nothing. The frame is (0, 0, w, h) in
/// 0.01 mm on the reference screen (1920 x 1080 pixels, 508 x 286 mm), a side of 0 giving the
/// screen's whole side. `enhanced` writes an enhanced metafile, otherwise a placeable Windows
/// metafile at 96 units per inch. A picture too large for the 16-bit coordinates of Windows
/// metafiles throws InvalidImageOperationError before anything is written.
void WriteMetafile(const DibImage* bitmap, int32_t width, int32_t height, bool enhanced,
                   ByteStream& out);

/// The resize job's metafiles: `bitmap` at its own size as an enhanced metafile, or as a
/// placeable Windows metafile.
void EncodeEmf(const DibImage& bitmap, ByteStream& out);
void EncodeWmf(const DibImage& bitmap, ByteStream& out);

}  // namespace tessane
