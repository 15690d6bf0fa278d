#pragma once
// Metadata carried from a source picture to its output: the EXIF, XMP and ICC segments of a
// JPEG file, the orientation of JPEG (EXIF) and TIFF pictures, and splicing metadata into the
// encoded bytes of a JPEG or PNG output. Every parser checks each offset against the data it
// holds and gives up quietly on anything it cannot follow: metadata never fails a file.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/stream.h"

namespace tessane {

/// Metadata segments of a JPEG file, payloads as stored (without marker and length).
struct SourceMetadata {
  std::vector<uint8_t> exif;              // first APP1 "Exif\0\0" payload
  std::vector<std::vector<uint8_t>> xmp;  // APP1 XMP payloads (main and extension), in order
  std::vector<std::vector<uint8_t>> icc;  // APP2 "ICC_PROFILE\0" payloads, in order

  bool Empty() const { return exif.empty() && xmp.empty() && icc.empty(); }
};

/// Scans the marker segments from the stream's position (the SOI) up to the first SOS or EOI and
/// collects the metadata segments. A stream that is not JPEG, or a broken segment chain, ends the
/// scan with what was found so far; never throws for bad data.
SourceMetadata ReadJpegMetadata(ByteStream& stream);

/// Orientation (1 to 8) of IFD0 of a TIFF structure in memory; 0 when absent, out of range or
/// unreadable.
int TiffOrientation(const uint8_t* data, size_t size);
/// Orientation of an APP1 "Exif\0\0" payload; 0 as above.
int ExifOrientation(const std::vector<uint8_t>& exifPayload);
/// Orientation of the first image of a TIFF file read from the stream's start, reading only the
/// header and the first IFD; 0 as above.
int TiffFileOrientation(ByteStream& stream);

/// The payload to write for a resized picture: the embedded thumbnail unlinked (and cut off when
/// it ends the data), the orientation set to 1 when `resetOrientation`, the EXIF pixel sizes set
/// to width x height. A payload that cannot be parsed is returned unchanged.
std::vector<uint8_t> PrepareExifForOutput(const std::vector<uint8_t>& exifPayload,
                                          bool resetOrientation, int32_t width, int32_t height);

/// The ICC profile assembled from APP2 chunks by their sequence numbers; empty when the chunks
/// are incomplete or inconsistent.
std::vector<uint8_t> AssembleIccProfile(const std::vector<std::vector<uint8_t>>& chunks);

/// JPEG bytes with the EXIF, XMP and ICC segments inserted after SOI (and after a leading JFIF
/// APP0). Bytes that do not start with SOI are returned unchanged.
std::vector<uint8_t> SpliceJpegMetadata(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& exif,
                                        const SourceMetadata& metadata);

/// PNG bytes with iCCP (zlib-compressed profile), eXIf and the XMP packet (iTXt) inserted after
/// IHDR, each with its CRC. Parts that cannot be expressed in PNG are left out; bytes that do not
/// start with the signature and IHDR are returned unchanged.
std::vector<uint8_t> SplicePngMetadata(std::vector<uint8_t> png, const std::vector<uint8_t>& exif,
                                       const SourceMetadata& metadata);

}  // namespace tessane
