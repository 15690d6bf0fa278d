// Fuzz target: the EpsGraphic reader, loaded from memory and painted.
#include "formats/eps/eps_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::EpsGraphic)
