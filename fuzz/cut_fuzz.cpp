// Fuzz target: the TCUTGraphic reader, loaded from memory and painted.
#include "formats/cut.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TCUTGraphic)
