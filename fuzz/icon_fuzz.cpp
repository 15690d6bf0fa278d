// Fuzz target: the TIcon reader, loaded from memory and painted.
#include "formats/icon.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TIcon)
