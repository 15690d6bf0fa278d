#pragma once
// Playback of Windows metafile records.

#include <QImage>
#include <QRect>
#include <QRectF>

#include "base/byte_view.h"

namespace tessane {

/// Plays a Windows metafile (`data` starts with its 18-byte header) into `rect` of `target`:
/// the logical window, first the placeable bounding box `bounds` and then whatever the records
/// set, is mapped onto the rectangle. Playback stops at the first record whose length does not
/// fit; unknown records are skipped. Never reads outside `data` and never draws outside `rect`.
void PlayWindowsMetafile(ByteView data, QImage& target, const QRect& rect, const QRectF& bounds);

}  // namespace tessane
