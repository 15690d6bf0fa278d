// Fuzz target: the TBitmap reader, loaded from memory and painted.
#include "formats/bitmap.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TBitmap)
