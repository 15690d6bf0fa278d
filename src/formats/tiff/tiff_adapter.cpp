#include "formats/tiff/tiff_adapter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tessane {

namespace {

// libtiff's own strip and tile buffers stay below this; our picture limits bound the rest.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{256} << 20;

using Source = TiffMemoryReader::Source;

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  auto* s = static_cast<Source*>(handle);
  if (count <= 0 || s->position >= s->size) return 0;
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), s->size - s->position);
  std::memcpy(buffer, s->data + s->position, n);
  s->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* s = static_cast<Source*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = s->position;
  if (whence == SEEK_END) base = s->size;
  // toff_t is unsigned: libtiff passes negative relative moves as wrapped values.
  s->position = base + offset;
  return s->position;
}

int CloseProc(thandle_t) {
  return 0;
}

toff_t SizeProc(thandle_t handle) {
  return static_cast<Source*>(handle)->size;
}

// The bytes are already in memory: let libtiff read strips straight from them.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  auto* s = static_cast<Source*>(handle);
  *base = const_cast<uint8_t*>(s->data);
  *size = s->size;
  return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  static_cast<TiffMemoryReader*>(user)->NoteError(module ? std::string(module) + ": " + text
                                                          : std::string(text));
  return 1;
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffMemoryReader::TiffMemoryReader(const uint8_t* data, size_t size) : source_{data, size, 0} {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ErrorHandler, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), WarningHandler, this);
  tiff_ = TIFFClientOpenExt("memory", "r", &source_, ReadProc, WriteProc, SeekProc, CloseProc,
                            SizeProc, MapProc, UnmapProc, options.get());
}

TiffMemoryReader::~TiffMemoryReader() {
  if (tiff_ != nullptr) TIFFClose(tiff_);
}

}  // namespace tessane
