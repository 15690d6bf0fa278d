#include "formats/sgi.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TSGIGraphic, TVerdelGraphic)

void TSGIGraphic::LoadFromStream(TStream&) { FailInvalid("sgi, bw or rgb(a)"); }

}  // namespace tessane
