// Fuzz target: the TGIFImage reader, loaded from memory and painted.
#include "formats/gif_image.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TGIFImage)
