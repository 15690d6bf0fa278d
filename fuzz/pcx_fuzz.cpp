// Fuzz target: the TPCXGraphic reader, loaded from memory and painted.
#include "formats/pcx.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPCXGraphic)
