// Fuzz target: the TSGIGraphic reader, loaded from memory and painted.
#include "formats/sgi.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TSGIGraphic)
