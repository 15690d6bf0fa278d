// Fuzz target: the TPPMGraphic reader, loaded from memory and painted.
#include "formats/ppm.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPPMGraphic)
