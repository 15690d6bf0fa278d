// Fuzz target: the SgiGraphic reader, loaded from memory and painted.
#include "formats/sgi/sgi_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::SgiGraphic)
