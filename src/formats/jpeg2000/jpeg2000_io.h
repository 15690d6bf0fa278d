#pragma once
// The adapter to OpenJPEG: owning handles for its objects and byte streams that read from and
// write to memory (the library never sees a path). Its callbacks never throw; a failure reaches
// the library as the error value its interface expects.

#include <openjpeg.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessane::j2k {

struct CodecDeleter {
  void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
  void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

using Codec = std::unique_ptr<opj_codec_t, CodecDeleter>;
using Stream = std::unique_ptr<opj_stream_t, StreamDeleter>;
using Image = std::unique_ptr<opj_image_t, ImageDeleter>;

/// Bytes a reading stream walks through; must outlive the stream.
struct MemoryInput {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
};

/// Bytes a writing stream appends to; must outlive the stream. Failed is set when memory ran out.
struct MemoryOutput {
  std::vector<uint8_t> bytes;
  size_t position = 0;
  bool failed = false;
};

/// A stream reading `input` (with seek and skip, as a file would behave).
Stream MakeInputStream(MemoryInput& input);
/// A stream writing into `output`.
Stream MakeOutputStream(MemoryOutput& output);

}  // namespace tessane::j2k
