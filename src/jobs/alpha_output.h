#pragma once
// Outputs that keep transparency (WebP, AVIF) take the source's alpha channel along; every other
// output is opaque, and its source is drawn over black (or --background) as before.

#include <string>

namespace tessane {

class ArgbImage;
class Picture;

/// True for an output name whose format keeps an alpha channel (.webp, .avif).
bool OutputKeepsAlpha(const std::string& destName);

/// For a picture whose pixels the plain assignment would lay over black (a PNG with
/// transparency): its pixels with their alpha. False, with the bitmap untouched, for every other
/// picture; ArgbImage::Assign keeps the alpha of those that have any (32-bit bitmaps).
bool AssignKeepingAlpha(ArgbImage& bitmap, const Picture& picture);

/// Scaling with an alpha channel: colours are weighted by their alpha while they are resampled,
/// so that the colour of invisible pixels (often black) does not bleed into the visible edge.
/// True, with every colour multiplied by its alpha, when the bitmap has any see-through pixel
/// and is not see-through everywhere (all-clear 32-bit pictures count as opaque); false,
/// untouched, otherwise.
bool PremultiplyAlpha(ArgbImage& bitmap);
/// Undoes PremultiplyAlpha on the scaled bitmap: colours divided by their alpha (rounded), those
/// of fully transparent pixels set to 0.
void UnpremultiplyAlpha(ArgbImage& bitmap);

}  // namespace tessane
