#include "formats/pcd.h"

namespace tessane {

TESSANE_DEFINE_GRAPHIC_CLASS(TPCDGraphic, TVerdelGraphic)

void TPCDGraphic::LoadFromStream(TStream&) { FailInvalid("PCD"); }

}  // namespace tessane
