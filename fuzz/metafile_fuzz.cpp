// Fuzz target: metafile playback (enhanced and old-style records alike), loaded from memory and
// painted over the two backgrounds the resize job uses.
#include "formats/metafile/metafile_graphic.h"
#include "fuzz/reader_harness.h"

TESSANE_READER_FUZZ_TARGET(tessane::MetafileGraphic)
