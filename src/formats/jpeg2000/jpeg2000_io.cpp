#include "formats/jpeg2000/jpeg2000_io.h"

#include <cstring>
#include <new>

namespace tessane::j2k {

namespace {

constexpr OPJ_SIZE_T kEndOfStream = static_cast<OPJ_SIZE_T>(-1);

OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* in = static_cast<MemoryInput*>(user);
  if (in->position >= in->size) return kEndOfStream;
  const size_t n = std::min<size_t>(count, in->size - in->position);
  std::memcpy(buffer, in->data + in->position, n);
  in->position += n;
  return n;
}

// Like a file, the position may move past the end; reading there reports the end.
OPJ_OFF_T SkipInput(OPJ_OFF_T count, void* user) {
  auto* in = static_cast<MemoryInput*>(user);
  if (count < 0) {
    if (static_cast<uint64_t>(-count) > in->position) return -1;
    in->position -= static_cast<size_t>(-count);
    return count;
  }
  if (static_cast<uint64_t>(count) > SIZE_MAX - in->position) return -1;
  in->position += static_cast<size_t>(count);
  return count;
}

OPJ_BOOL SeekInput(OPJ_OFF_T position, void* user) {
  auto* in = static_cast<MemoryInput*>(user);
  if (position < 0) return OPJ_FALSE;
  in->position = static_cast<size_t>(position);
  return OPJ_TRUE;
}

OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* out = static_cast<MemoryOutput*>(user);
  try {
    if (out->position + count > out->bytes.size()) out->bytes.resize(out->position + count);
  } catch (const std::bad_alloc&) {
    out->failed = true;
    return kEndOfStream;
  }
  std::memcpy(out->bytes.data() + out->position, buffer, count);
  out->position += count;
  return count;
}

OPJ_OFF_T SkipOutput(OPJ_OFF_T count, void* user) {
  auto* out = static_cast<MemoryOutput*>(user);
  if (count < 0 && static_cast<uint64_t>(-count) > out->position) return -1;
  out->position = static_cast<size_t>(static_cast<OPJ_OFF_T>(out->position) + count);
  return count;
}

OPJ_BOOL SeekOutput(OPJ_OFF_T position, void* user) {
  auto* out = static_cast<MemoryOutput*>(user);
  if (position < 0) return OPJ_FALSE;
  out->position = static_cast<size_t>(position);
  return OPJ_TRUE;
}

}  // namespace

Stream MakeInputStream(MemoryInput& input) {
  Stream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
  if (!stream) return stream;
  opj_stream_set_user_data(stream.get(), &input, nullptr);
  opj_stream_set_user_data_length(stream.get(), input.size);
  opj_stream_set_read_function(stream.get(), Read);
  opj_stream_set_skip_function(stream.get(), SkipInput);
  opj_stream_set_seek_function(stream.get(), SeekInput);
  return stream;
}

Stream MakeOutputStream(MemoryOutput& output) {
  Stream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
  if (!stream) return stream;
  opj_stream_set_user_data(stream.get(), &output, nullptr);
  opj_stream_set_write_function(stream.get(), Write);
  opj_stream_set_skip_function(stream.get(), SkipOutput);
  opj_stream_set_seek_function(stream.get(), SeekOutput);
  return stream;
}

}  // namespace tessane::j2k
