// Fuzz target: the AvifGraphic reader (libheif with its AV1 decoder), loaded from memory and
// painted; inputs declaring more than the harness's painting cap are skipped (decoding them is
// legitimate, only slow).
#include "formats/heif/heif_graphic.h"
#include "fuzz/heif_declared_pixels.h"
#include "fuzz/reader_harness.h"

TESSANE_CAPPED_READER_FUZZ_TARGET(tessane::AvifGraphic, tessane::fuzz::HeifDeclaredPixels)
