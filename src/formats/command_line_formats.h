#pragma once
// Formats only tessane-cli reads: the window keeps its fixed list of types and extensions, so
// these are registered by the command alone, after the standard ones.

namespace tessane {

/// Makes the standard registrations, then adds HEIF/HEIC, AVIF, WebP and JPEG XL, once; safe to
/// call from any thread, later calls do nothing.
void RegisterCommandLineFormats();

}  // namespace tessane
