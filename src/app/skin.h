#pragma once
// The window's optional skin: a built-in style sheet laid over the platform style. With the skin
// off the window uses the plain style and must look and work just as well.

class QWidget;

namespace tessane {

/// Applies the skin to `window` and its children (on) or removes it (off).
void SetSkinActive(QWidget* window, bool on);

/// The state the last SetSkinActive call left the skin in (off before any call).
bool SkinActive();

/// The skin's style sheet text.
const char* SkinStyleSheet();

}  // namespace tessane
