// Fuzz target: the TEPSGraphic reader, loaded from memory and painted.
#include "formats/eps.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TEPSGraphic)
