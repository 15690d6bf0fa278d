#pragma once
// The picture the floating preview shows for a source file.

#include <QImage>

#include <string>

namespace tessane {

/// Loads the file at `path` and draws it as the preview shows it: bitmap kinds opaque, as their
/// pixels are drawn; other graphics keep the transparency their drawing left. A null image when
/// the picture draws nothing. Throws the loader's error for a file it cannot read.
QImage RenderPreview(const std::string& path);

}  // namespace tessane
