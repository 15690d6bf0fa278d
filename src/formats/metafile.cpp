#include "formats/metafile.h"

#include "base/errors.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TMetafile, TGraphic)

void TMetafile::LoadFromStream(TStream&) { throw EInvalidGraphic("TMetafile cannot be read yet"); }

}  // namespace tessane
