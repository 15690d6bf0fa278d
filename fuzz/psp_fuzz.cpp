// Fuzz target: the TPSPGraphic reader, loaded from memory and painted.
#include "formats/psp.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPSPGraphic)
