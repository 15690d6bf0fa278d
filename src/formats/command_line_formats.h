#pragma once
// The modern formats (HEIF/HEIC, AVIF, WebP, JPEG XL) that the window and tessane-cli read beyond
// the standard list; registered after the standard ones, so the standard rows keep their places.

namespace tessane {

/// Makes the standard registrations, then adds HEIF/HEIC, AVIF, WebP and JPEG XL, once; safe to
/// call from any thread, later calls do nothing.
void RegisterCommandLineFormats();

}  // namespace tessane
