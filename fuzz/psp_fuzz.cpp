// Fuzz target: the PspGraphic reader, loaded from memory and painted.
#include "formats/psp/psp_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::PspGraphic)
