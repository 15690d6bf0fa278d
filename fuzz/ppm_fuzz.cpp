// Fuzz target: the PpmGraphic reader, loaded from memory and painted.
#include "formats/ppm/ppm_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::PpmGraphic)
