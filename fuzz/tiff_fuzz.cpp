// Fuzz target: the TTIFFGraphic reader, loaded from memory and painted.
#include "formats/tiff.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TTIFFGraphic)
