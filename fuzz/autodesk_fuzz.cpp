// Fuzz target: the TAutodeskGraphic reader, loaded from memory and painted.
#include "formats/autodesk.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::TAutodeskGraphic)
