// Fuzz target: the RlaGraphic reader, loaded from memory and painted.
#include "formats/rla/rla_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::RlaGraphic)
