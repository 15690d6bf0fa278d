// Fuzz target: the JxlGraphic reader (libjxl), loaded from memory and painted; inputs declaring
// more than the harness's painting cap are skipped (decoding them is legitimate, only slow).
#include <jxl/decode.h>

#include <memory>

#include "formats/jxl/jxl_graphic.h"
#include "fuzz/reader_harness.h"

namespace {

int64_t DeclaredPixels(const uint8_t* data, size_t size) {
  std::unique_ptr<JxlDecoder, void (*)(JxlDecoder*)> decoder(JxlDecoderCreate(nullptr),
                                                             JxlDecoderDestroy);
  if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
    return -1;
  JxlDecoderCloseInput(decoder.get());
  JxlBasicInfo info;
  if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO ||
      JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
    return -1;
  return int64_t{info.xsize} * info.ysize;
}

}  // namespace

TESSANE_CAPPED_READER_FUZZ_TARGET(tessane::JxlGraphic, DeclaredPixels)
