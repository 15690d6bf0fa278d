// Fuzz target: the TPNGObject reader, loaded from memory and painted.
#include "formats/png_image.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPNGObject)
