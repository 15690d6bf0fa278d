// Fuzz target: the HeifGraphic reader (libheif with its HEVC and AV1 decoders), loaded from
// memory and painted; inputs declaring more than the harness's painting cap are skipped
// (decoding them is legitimate, only slow).
#include "formats/heif/heif_graphic.h"
#include "fuzz/heif_declared_pixels.h"
#include "fuzz/reader_harness.h"

TESSANE_CAPPED_READER_FUZZ_TARGET(tessane::HeifGraphic, tessane::fuzz::HeifDeclaredPixels)
