// Fuzz target: the TRLAGraphic reader, loaded from memory and painted.
#include "formats/rla.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TRLAGraphic)
