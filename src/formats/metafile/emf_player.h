#pragma once
// Playback of enhanced metafile records.

#include <QImage>
#include <QRect>
#include <QSize>

#include "base/byte_view.h"

namespace tessane {

/// Plays an enhanced metafile (the whole file: header record first) into `rect` of `target`,
/// mapping its frame onto the rectangle so that the frame's size in reference-device pixels,
/// `frameSize`, fills it. Records whose lengths do not fit are where playback stops; unknown
/// records are skipped. Never reads outside `data` and never draws outside `rect`.
void PlayEnhancedMetafile(ByteView data, QImage& target, const QRect& rect, QSize frameSize);

}  // namespace tessane
