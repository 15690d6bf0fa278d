// Fuzz target: the PcxGraphic reader, loaded from memory and painted.
#include "formats/pcx/pcx_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::PcxGraphic)
