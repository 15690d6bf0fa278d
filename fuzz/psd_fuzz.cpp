// Fuzz target: the TPSDGraphic reader, loaded from memory and painted.
#include "formats/psd.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TPSDGraphic)
