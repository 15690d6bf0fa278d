#include "formats/jpeg2000/jpeg2000_writer.h"

#include "formats/jpeg2000/jpeg2000_graphic.h"

namespace tessane {

void EncodeJpeg2000(const DibImage& bitmap, const Jpeg2000Options& options, ByteStream& out) {
  Jpeg2000Graphic jp2;
  jp2.SetLossless(options.lossless);
  jp2.SetQuality(options.quality);
  jp2.SetIccProfile(options.icc);
  jp2.Assign(bitmap);
  jp2.SaveToStream(out);
}

}  // namespace tessane
