// Fuzz target: the TTargaGraphic reader, loaded from memory and painted.
#include "formats/targa.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TTargaGraphic)
