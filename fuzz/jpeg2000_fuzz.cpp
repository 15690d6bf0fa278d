// Fuzz target: the Jpeg2000Graphic reader, loaded from memory and painted.
#include "formats/jpeg2000/jpeg2000_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::Jpeg2000Graphic)
