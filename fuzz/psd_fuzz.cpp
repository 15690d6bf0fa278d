// Fuzz target: the PsdGraphic reader, loaded from memory and painted.
#include "formats/psd/psd_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::PsdGraphic)
